#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "Platform/RawInputEvent.h"
#include "TestMacros.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

const std::string kMeta =
    R"({"actionCount":1,"createdAt":"2026-12-08T10:15:30Z","durationSeconds":0,)"
    R"("modifiedAt":"2026-12-08T10:15:30Z","name":"m","tags":[]})";
const std::string kId = R"("3F2504E0-4F89-41D3-9A0C-0305E82C3301")";
const std::string kKey = R"({"type":"keyDown","timestamp":0,"keyCode":1,"flags":0})";

std::string macroJson(const std::string& actions, const std::string& meta = kMeta,
                      const std::string& id = kId, const std::string& version = "1")
{
    return R"({"id":)" + id + R"(,"metadata":)" + meta + R"(,"actions":[)" + actions +
           R"(],"version":)" + version + "}";
}

QByteArray library(const std::string& inner)
{
    return QByteArray::fromStdString("[" + inner + "]");
}

QString decodeError(const QByteArray& json)
{
    auto result = MacroJsonDecoder::decodeLibrary(json);
    return result ? QStringLiteral("(no error)") : result.error().description();
}

Macro decodeOne(const std::string& actions, const std::string& meta = kMeta)
{
    auto result = MacroJsonDecoder::decodeLibrary(library(macroJson(actions, meta)));
    EXPECT_TRUE(result.hasValue()) << (result ? "" : result.error().description().toStdString());
    return result ? result.value().at(0) : Macro{};
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    text.replace(text.find(from), from.size(), to);
    return text;
}

struct BadCase
{
    std::string json;
    QString expected;
};

} // namespace

TEST(MacroJsonRead, RejectsMalformedMacrosNamingTheFirstProblemAndWhere)
{
    const std::string ok = macroJson(kKey);
    const std::vector<BadCase> cases = {
        {macroJson(R"({"type":"waitForImage","image":"x"})"),
         QStringLiteral("macro 1, action 1: missing key \"timestamp\"")},
        {macroJson(R"({"type":"delay","timestamp":0})"),
         QStringLiteral("macro 1, action 1: missing key \"duration\"")},
        {macroJson(R"({"type":"mouseMove","x":1,"y":2})"),
         QStringLiteral("macro 1, action 1: missing key \"timestamp\"")},
        {macroJson(R"({"type":"scroll","timestamp":0,"x":0,"y":0,"deltaX":1.5,"deltaY":0})"),
         QStringLiteral("macro 1, action 1: \"deltaX\" 1.5 is not an integer")},
        {macroJson(R"({"type":"scroll","timestamp":0,"x":0,"y":0,"deltaX":0,"deltaY":2147483648})"),
         QStringLiteral("macro 1, action 1: \"deltaY\" 2147483648 is out of range "
                        "-2147483648\u20262147483647")},
        {macroJson(replaced(kKey, "\"keyCode\":1", "\"keyCode\":65536")),
         QStringLiteral("macro 1, action 1: \"keyCode\" 65536 is out of range 0\u202665535")},
        {macroJson(replaced(kKey, "\"keyCode\":1", "\"keyCode\":-1")),
         QStringLiteral("macro 1, action 1: \"keyCode\" -1 is out of range 0\u202665535")},
        {macroJson(replaced(kKey, "\"flags\":0", "\"flags\":-1")),
         QStringLiteral(
             "macro 1, action 1: \"flags\" -1 is out of range 0\u202618446744073709551615")},
        {macroJson(replaced(kKey, "\"flags\":0", "\"flags\":\"0\"")),
         QStringLiteral("macro 1, action 1: \"flags\" must be an integer but is a string")},
        {macroJson(R"({"type":"mouseUp","timestamp":0,"x":0,"y":0,"button":"Left"})"),
         QStringLiteral("macro 1, action 1: \"button\" \"Left\" is not one of \"left\", \"right\", "
                        "\"middle\"")},
        {macroJson(R"({"type":"mouseMove","timestamp":0,"x":"1","y":2})"),
         QStringLiteral("macro 1, action 1: \"x\" must be a number but is a string")},
        {macroJson(kKey, replaced(kMeta, R"(,"tags":[])", "")),
         QStringLiteral("macro 1, metadata: missing key \"tags\"")},
        {macroJson(kKey, replaced(kMeta, "10:15:30Z", "10:15:30.5Z")),
         QStringLiteral("macro 1, metadata: \"createdAt\" \"2026-12-08T10:15:30.5Z\" is not a date "
                        "of the form 2026-01-31T09:30:00Z")},
        {macroJson(kKey, replaced(kMeta, R"("2026-12-08T10:15:30Z")", "1796724930")),
         QStringLiteral("macro 1, metadata: \"createdAt\" must be a date string but is a number")},
        {macroJson(kKey, replaced(kMeta, R"(,"tags":[])", R"(,"recording":{"keyboard":1,"mouse":true,"moveIntervalMs":0},"tags":[])")),
         QStringLiteral("macro 1, metadata: \"keyboard\" must be true or false but is a number")},
        {macroJson(kKey, replaced(kMeta, R"(,"tags":[])", R"(,"recording":{"keyboard":false,"mouse":false,"moveIntervalMs":0},"tags":[])")),
         QStringLiteral("takes in neither keyboard nor mouse")},
        {macroJson(kKey, replaced(kMeta, R"(,"tags":[])", R"(,"recording":{"keyboard":true,"mouse":true,"moveIntervalMs":-5},"tags":[])")),
         QStringLiteral("\"moveIntervalMs\" -5 is out of range 0\u202610000")},
        {macroJson(kKey, replaced(kMeta, "10:15:30Z", "10:15:30+00:00")),
         QStringLiteral("is not a date")},
        {macroJson(kKey, replaced(kMeta, "2026-12-08", "2026-02-30")),
         QStringLiteral("is not a date")},
        {macroJson(kKey, replaced(kMeta, "\"actionCount\":1", "\"actionCount\":1.0")),
         QStringLiteral("macro 1, metadata: \"actionCount\" 1.0 is not an integer")},
        {macroJson(kKey, kMeta, R"("{3F2504E0-4F89-41D3-9A0C-0305E82C3301}")"),
         QStringLiteral(
             "macro 1: \"id\" \"{3F2504E0-4F89-41D3-9A0C-0305E82C3301}\" is not an identifier")},
        {macroJson(kKey, kMeta, R"("3F2504E04F8941D39A0C0305E82C3301")"),
         QStringLiteral("is not an identifier")},
        {macroJson(kKey, kMeta, kId, "null"),
         QStringLiteral("macro 1: \"version\" must be an integer but is null")},
        {ok + "," +
             macroJson(kKey + "," + kKey + "," +
                       replaced(kKey, "\"timestamp\":0", "\"timestamp\":true")),
         QStringLiteral("macro 2, action 3: \"timestamp\" must be a number but is a boolean")},
        {ok + ",[]", QStringLiteral("macro 2: expected a macro object but found an array")},
        {macroJson("5"),
         QStringLiteral("macro 1, action 1: expected an action object but found a number")},
    };
    for (const BadCase& c : cases) {
        const QString error = decodeError(library(c.json));
        EXPECT_TRUE(error.contains(c.expected)) << c.json << "\n  gave: " << error.toStdString();
    }
}

TEST(MacroJsonRead, RejectsTextThatIsNotAnArrayOfMacros)
{
    const std::string ok = macroJson(kKey);
    EXPECT_EQ(decodeError(QByteArray()), QStringLiteral("the text is empty"));
    EXPECT_EQ(decodeError("  \n"), QStringLiteral("the text is empty"));
    EXPECT_EQ(decodeError(QByteArray::fromStdString(ok)),
              QStringLiteral("expected an array of macros but found an object"));
    EXPECT_TRUE(decodeError("nonsense").startsWith(QStringLiteral("expected an array")));
    EXPECT_TRUE(decodeError(library(ok).chopped(1)).contains(QStringLiteral("ends inside")));
    EXPECT_TRUE(decodeError(library(ok) + " x").contains(QStringLiteral("after the end")));
    EXPECT_TRUE(decodeError(library(ok + ",")).contains(QStringLiteral("empty element")));
    EXPECT_TRUE(
        decodeError(library(ok + "," + ok + " " + ok)).startsWith(QStringLiteral("macro 2")));
    // A syntax error inside an element names the macro and its line.
    const QByteArray broken =
        library(ok + ",\n" + replaced(ok, "\"name\":\"m\"", "\"name\" \"m\""));
    EXPECT_TRUE(decodeError(broken).startsWith(QStringLiteral("macro 2 (line 2): invalid JSON")))
        << decodeError(broken).toStdString();
    // Brackets and escapes inside strings do not confuse the search for elements.
    const Macro tricky = decodeOne(kKey, replaced(kMeta, "\"name\":\"m\"", R"("name":"]},[\"\\")"));
    EXPECT_EQ(tricky.metadata.name, QStringLiteral("]},[\"\\"));
}

TEST(MacroJsonRead, AcceptsTheEdgesOfEachRangeAndIgnoresForeignKeys)
{
    const Macro m = decodeOne(
        R"({"type":"keyDown","timestamp":0,"keyCode":65535,"flags":18446744073709551615,"x":"abc","button":"no"},)"
        R"({"type":"scroll","timestamp":2,"x":1,"y":-2.5,"deltaX":-2147483648,"deltaY":2147483647,"extra":[1,{}]},)"
        R"({"type":"windowFocus","timestamp":3,"bundleID":"a\/b","appName":"\u00e9"})",
        replaced(kMeta, "\"name\"", "\"unknown\":{\"a\":[1]},\"name\""));
    ASSERT_EQ(m.actions.size(), 3u);
    EXPECT_EQ(m.actions[0], MacroAction::keyDown(0, 65535, 18446744073709551615ULL));
    EXPECT_EQ(m.actions[1], MacroAction::scroll(2, 1, -2.5, INT32_MIN, INT32_MAX));
    EXPECT_EQ(m.actions[2],
              MacroAction::windowFocus(3, QStringLiteral("a/b"), QStringLiteral("\u00e9")));
    // Identifiers are read in either case; the format version is not judged here.
    auto lower = MacroJsonDecoder::decodeLibrary(
        library(macroJson(kKey, kMeta, R"("3f2504e0-4f89-41d3-9a0c-0305e82c3301")", "7")));
    ASSERT_TRUE(lower.hasValue());
    EXPECT_EQ(lower.value()[0].id,
              QUuid::fromString(QStringLiteral("3F2504E0-4F89-41D3-9A0C-0305E82C3301")));
    EXPECT_EQ(lower.value()[0].version, 7);
    EXPECT_EQ(MacroJsonDecoder::decodeLibrary(" [ ] ").value().size(), 0u);
    // Files some editors saved with a byte-order mark.
    const QByteArray bom = "\xEF\xBB\xBF";
    const QByteArray one = library(macroJson(kKey, kMeta, R"("3F2504E0-4F89-41D3-9A0C-0305E82C3301")"));
    EXPECT_EQ(MacroJsonDecoder::decodeLibrary(bom + one).value().size(), 1u);
    EXPECT_TRUE(MacroJsonDecoder::decodeMacro(bom + macroJson(kKey, kMeta, R"("3F2504E0-4F89-41D3-9A0C-0305E82C3301")")
                                                      .c_str())
                    .hasValue());
}

TEST(MacroJsonWrite, IndentedLayoutHasSortedKeysEscapedSolidusAndWholeSecondDates)
{
    Macro m = TestMacros::small();
    m.metadata.createdAt = m.metadata.createdAt.addMSecs(900); // dropped on write
    const QByteArray expected = R"([
  {
    "actions" : [
      {
        "appName" : "Editor",
        "bundleID" : "org.example.Editor",
        "timestamp" : 0,
        "type" : "windowFocus"
      },
      {
        "flags" : 1048576,
        "keyCode" : 36,
        "timestamp" : 0.5,
        "type" : "keyDown"
      },
      {
        "button" : "left",
        "timestamp" : 1.25,
        "type" : "mouseDown",
        "x" : 812.7,
        "y" : 403.2
      },
      {
        "duration" : 0.5,
        "timestamp" : 1.5,
        "type" : "delay"
      }
    ],
    "id" : "3F2504E0-4F89-41D3-9A0C-0305E82C3301",
    "metadata" : {
      "actionCount" : 4,
      "createdAt" : "2026-12-08T10:15:30Z",
      "durationSeconds" : 1.5,
      "modifiedAt" : "2026-12-08T10:16:00Z",
      "name" : "Small",
      "tags" : [
        "a\/b"
      ]
    },
    "version" : 1
  }
])";
    EXPECT_EQ(MacroJsonEncoder::encodeLibrary({m}).value(), expected);
    EXPECT_EQ(MacroJsonEncoder::encodeLibrary({}).value(), QByteArray("[]"));

    Macro empty = TestMacros::small();
    empty.actions.clear();
    empty.metadata.tags.clear();
    const QByteArray compact =
        MacroJsonEncoder::encodeMacro(empty, JsonWriter::Layout::compact).value();
    EXPECT_TRUE(compact.startsWith(
        R"({"actions":[],"id":"3F2504E0-4F89-41D3-9A0C-0305E82C3301","metadata":{"actionCount":4,)"))
        << compact.toStdString();
    EXPECT_TRUE(compact.endsWith(R"("name":"Small","tags":[]},"version":1})"))
        << compact.toStdString();
}

TEST(MacroJsonWrite, NonFiniteNumbersFailTheWholeWrite)
{
    for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        Macro m = TestMacros::small();
        m.actions.push_back(MacroAction::mouseMove(2, 1, bad));
        auto result = MacroJsonEncoder::encodeLibrary({TestMacros::small(), m});
        ASSERT_FALSE(result.hasValue());
        EXPECT_TRUE(
            result.error().description().startsWith(QStringLiteral("macro 2, action 5: \"y\"")))
            << result.error().description().toStdString();

        Macro meta = TestMacros::small();
        meta.metadata.durationSeconds = bad;
        EXPECT_FALSE(MacroJsonEncoder::encodeMacro(meta).hasValue());
    }
}

TEST(MacroJsonRoundTrip, NumbersSurviveBitExactly)
{
    std::vector<double> values = {-0.0,
                                  0.0,
                                  5e-324,
                                  -2.2250738585072014e-308,
                                  1.7976931348623157e308,
                                  18446744073709551616.0,
                                  9223372036854775808.0,
                                  1e22,
                                  1e21,
                                  123456789012345678.0,
                                  0.1,
                                  -1.0 / 3};
    std::mt19937_64 rng(42);
    for (int i = 0; i < 5000; ++i)
        values.push_back(TestMacros::anyFiniteDouble(rng));
    Macro m = TestMacros::small();
    m.actions.clear();
    for (const double v : values)
        m.actions.push_back(MacroAction::mouseMove(v, -v, v));
    m.actions.push_back(MacroAction::keyUp(0, 0, UINT64_MAX));
    const auto decoded = MacroJsonDecoder::decodeMacro(MacroJsonEncoder::encodeMacro(m).value());
    ASSERT_TRUE(decoded.hasValue()) << decoded.error().description().toStdString();
    ASSERT_EQ(decoded.value().actions.size(), m.actions.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto& move = std::get<MacroAction::MouseMove>(decoded.value().actions[i].payload);
        EXPECT_EQ(std::memcmp(&move.y, &values[i], sizeof(double)), 0) << values[i];
        const double negated = -values[i];
        EXPECT_EQ(std::memcmp(&move.x, &negated, sizeof(double)), 0) << negated;
    }
    EXPECT_EQ(decoded.value().actions.back(), MacroAction::keyUp(0, 0, UINT64_MAX));
}

TEST(MacroJsonRoundTrip, RandomLibrariesReadBackEqualInBothLayouts)
{
    for (std::uint64_t seed = 1; seed <= 200; ++seed) {
        std::mt19937_64 rng(seed);
        std::vector<Macro> macros;
        for (int i = int(rng() % 5); i > 0; --i)
            macros.push_back(TestMacros::anyMacro(rng));
        for (const auto layout : {JsonWriter::Layout::indented, JsonWriter::Layout::compact}) {
            const QByteArray json = MacroJsonEncoder::encodeLibrary(macros, layout).value();
            const auto decoded = MacroJsonDecoder::decodeLibrary(json);
            ASSERT_TRUE(decoded.hasValue())
                << "seed " << seed << ": " << decoded.error().description().toStdString();
            ASSERT_EQ(decoded.value(), macros) << "seed " << seed;
            // Writing what was read gives the same bytes again.
            ASSERT_EQ(MacroJsonEncoder::encodeLibrary(decoded.value(), layout).value(), json);
        }
    }
}

TEST(MacroJsonWrite, MouseActionsCarryFlagsOnlyWhenAModifierWasHeld)
{
    Macro macro = TestMacros::small();
    macro.actions = {MacroAction::mouseDown(0.5, 10, 20, MouseButton::left),
                     MacroAction::mouseUp(0.6, 10, 20, MouseButton::left, ModifierFlags::shift),
                     MacroAction::mouseDrag(0.7, 11, 21, MouseButton::right, ModifierFlags::option),
                     MacroAction::scroll(0.8, 11, 21, 0, -2, ModifierFlags::control)};
    const QByteArray compact = MacroJsonEncoder::encodeMacro(macro, JsonWriter::Layout::compact).value();
    // Without a modifier the action is written exactly as before flags existed.
    EXPECT_TRUE(compact.contains(R"({"button":"left","timestamp":0.5,"type":"mouseDown","x":10,"y":20})"))
        << compact.toStdString();
    EXPECT_TRUE(compact.contains(R"({"button":"left","flags":131072,"timestamp":0.6,"type":"mouseUp",)"));
    EXPECT_TRUE(compact.contains(R"({"deltaX":0,"deltaY":-2,"flags":262144,"timestamp":0.8,"type":"scroll",)"));
    const auto back = MacroJsonDecoder::decodeMacro(compact);
    ASSERT_TRUE(back) << back.error().description().toStdString();
    EXPECT_EQ(back.value(), macro);
    EXPECT_EQ(back.value().actions[2].mouseFlags(), ModifierFlags::option);
    // A wrong type for the optional key is still an error.
    QByteArray wrong = compact;
    wrong.replace("\"flags\":131072", "\"flags\":\"shift\"");
    EXPECT_FALSE(MacroJsonDecoder::decodeMacro(wrong));
}

TEST(MacroJsonRead, AStepOfAKindFromANewerVersionIsKeptWholeAndWrittenBackAsItWas)
{
    // A newer Quillo's step, with fields of its own, between two known actions.
    const QByteArray file = "[" + QByteArray::fromStdString(macroJson(
        std::string(kKey) + R"(,{"type":"waitForImage","timestamp":0.5,"timeout":10,"picture":{"png":"iVBO","x":1}})" +
        R"(,{"type":"delay","timestamp":1,"duration":0.5})")) + "]";
    const auto read = MacroJsonDecoder::decodeLibrary(file);
    ASSERT_TRUE(read.hasValue()) << read.error().description().toStdString();
    const Macro& macro = read.value().front();
    ASSERT_EQ(macro.actions.size(), 3u);
    const MacroAction& step = macro.actions[1];
    EXPECT_EQ(step.type(), ActionType::unknown);
    EXPECT_EQ(step.timestamp, 0.5);
    EXPECT_EQ(step.displayName(), QStringLiteral("Unknown step (waitForImage)"));
    // Written again and read again: the same, every field of it still there.
    const QByteArray again = MacroJsonEncoder::encodeLibrary(read.value()).value();
    EXPECT_TRUE(again.contains(R"({"type":"waitForImage","timestamp":0.5,"timeout":10,"picture":{"png":"iVBO","x":1}})"))
        << again.toStdString();
    const auto reread = MacroJsonDecoder::decodeLibrary(again);
    ASSERT_TRUE(reread.hasValue()) << reread.error().description().toStdString();
    EXPECT_EQ(reread.value().front().actions, macro.actions);
}
