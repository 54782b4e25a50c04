#include "Views/ActionEditorDialog.h"

#include "Platform/RawInputEvent.h"
#include "ViewModels/ActionChordText.h"
#include "ViewModels/AppViewModel.h"
#include "Views/ChordButton.h"
#include "Views/ScreenPointPicker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Positions as far out as any desktop reaches, in pixels.
constexpr double maxCoordinate = 100000;

template <typename T> bool holds(const MacroAction& action)
{
    return std::holds_alternative<T>(action.payload);
}

bool hasPosition(const MacroAction& a)
{
    return holds<MacroAction::MouseMove>(a) || holds<MacroAction::MouseDown>(a) || holds<MacroAction::MouseUp>(a) ||
           holds<MacroAction::MouseDrag>(a) || holds<MacroAction::Scroll>(a);
}

bool hasButton(const MacroAction& a)
{
    return holds<MacroAction::MouseDown>(a) || holds<MacroAction::MouseUp>(a) || holds<MacroAction::MouseDrag>(a);
}

bool isKey(const MacroAction& a)
{
    return holds<MacroAction::KeyDown>(a) || holds<MacroAction::KeyUp>(a);
}

} // namespace

ActionEditorDialog::ActionEditorDialog(AppViewModel& model, const MacroAction& action, double gap, bool hasGap,
                                       Purpose purpose, QWidget* parent)
    : QDialog(parent), m_model(model), m_action(action)
{
    setObjectName(QStringLiteral("actionEditor"));
    // Editing says so; a new action is named as the Insert menu names it ("Key…" → "Key").
    QString title = m_model.t(QStringLiteral("editor.title.edit"));
    if (purpose == Purpose::insert) {
        title = m_model.t(isKey(action) ? QStringLiteral("insert.key")
                          : holds<MacroAction::WindowFocus>(action) ? QStringLiteral("insert.app")
                                                                    : QStringLiteral("insert.click"));
        if (title.endsWith(QChar(0x2026)))
            title.chop(1);
    }
    setWindowTitle(title);
    m_title = new QLabel;
    m_title->setTextFormat(Qt::PlainText); // application names come from files
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);

    auto* form = new QFormLayout;
    m_gap = new QSpinBox;
    m_gap->setRange(0, 3600 * 1000);
    m_gap->setSuffix(QStringLiteral(" ms"));
    m_gap->setValue(int(std::lround(std::max(0.0, gap) * 1000)));
    m_gap->setEnabled(hasGap);
    form->addRow(m_model.t(QStringLiteral("editor.gap")), m_gap);

    if (hasPosition(action)) {
        double x = 0, y = 0;
        std::visit([&](const auto& p) {
            if constexpr (requires { p.x; }) {
                x = p.x;
                y = p.y;
            }
        }, action.payload);
        auto coordinate = [](double value) {
            auto* field = new QDoubleSpinBox;
            field->setRange(-maxCoordinate, maxCoordinate);
            field->setDecimals(0);
            field->setValue(std::isfinite(value) ? value : 0);
            return field;
        };
        m_x = coordinate(x);
        m_y = coordinate(y);
        m_pick = new QPushButton(m_model.t(QStringLiteral("editor.pick")));
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(QStringLiteral("x")));
        row->addWidget(m_x);
        row->addWidget(new QLabel(QStringLiteral("y")));
        row->addWidget(m_y);
        row->addWidget(m_pick);
        form->addRow(m_model.t(QStringLiteral("editor.position")), row);
        connect(m_pick, &QPushButton::clicked, this, &ActionEditorDialog::pickOnScreen);
    }
    if (hasButton(action)) {
        m_button = new QComboBox;
        m_button->addItem(m_model.t(QStringLiteral("editor.button.left")), int(MouseButton::left));
        m_button->addItem(m_model.t(QStringLiteral("editor.button.right")), int(MouseButton::right));
        m_button->addItem(m_model.t(QStringLiteral("editor.button.middle")), int(MouseButton::middle));
        std::visit([&](const auto& p) {
            if constexpr (requires { p.button; })
                m_button->setCurrentIndex(m_button->findData(int(p.button)));
        }, action.payload);
        form->addRow(m_model.t(QStringLiteral("editor.button")), m_button);
    }
    // A press that waits for its picture: how alike a place must be.
    if (const auto* down = std::get_if<MacroAction::MouseDown>(&action.payload); down && down->sight) {
        m_likeness = new QDoubleSpinBox;
        m_likeness->setObjectName(QStringLiteral("pictureLikeness"));
        m_likeness->setRange(0.5, 1.0);
        m_likeness->setSingleStep(0.05);
        m_likeness->setDecimals(2);
        m_likeness->setValue(down->sight->threshold > 0 ? down->sight->threshold : 0.8);
        form->addRow(m_model.t(QStringLiteral("wait.threshold")), m_likeness);
    }
    if (isKey(action)) {
        m_key = new ChordButton;
        m_key->setObjectName(QStringLiteral("actionKey"));
        m_key->setListeningText(m_model.t(QStringLiteral("editor.key.press")));
        // While it listens, Quillo's own hotkeys are set aside so that any key can be pressed.
        m_key->onListening = [this](bool on) { m_model.hotkeys().setSuspended(on); };
        connect(m_key, &ChordButton::chordChosen, this, [this](const HotkeyChord& chord) {
            setKey(std::uint16_t(chord.keyCode));
            std::uint64_t flags = 0;
            if (chord.modifiers & HotkeyChord::shift)
                flags |= ModifierFlags::shift;
            if (chord.modifiers & HotkeyChord::control)
                flags |= ModifierFlags::control;
            if (chord.modifiers & HotkeyChord::option)
                flags |= ModifierFlags::option;
            if (chord.modifiers & HotkeyChord::command)
                flags |= ModifierFlags::command;
            showModifiers(flags);
        });
        form->addRow(m_model.t(QStringLiteral("editor.key")), m_key);
        std::visit([&](const auto& p) {
            if constexpr (requires { p.keyCode; }) {
                m_keyCode = p.keyCode;
                m_keySet = purpose == Purpose::edit;
            }
        }, action.payload);
    }
    if (isKey(action) || hasButton(action) || holds<MacroAction::Scroll>(action)) {
        auto* row = new QHBoxLayout;
        for (const auto& [flag, name] : std::initializer_list<std::pair<std::uint64_t, const char*>>{
                 {ModifierFlags::shift, "Shift"}, {ModifierFlags::control, "Ctrl"}, {ModifierFlags::option, "Alt"},
                 {ModifierFlags::altGr, "AltGr"}, {ModifierFlags::command, "Super"}}) {
            auto* box = new QCheckBox(QString::fromLatin1(name));
            m_modifiers.emplace_back(flag, box);
            row->addWidget(box);
            connect(box, &QCheckBox::toggled, this, [this, flag = flag](bool on) {
                // Alt and AltGr are the same bit: one at a time.
                if (!on)
                    return update();
                const std::uint64_t other = flag == ModifierFlags::option ? ModifierFlags::altGr
                                            : flag == ModifierFlags::altGr ? ModifierFlags::option
                                                                           : 0;
                if (QCheckBox* box = modifierField(other))
                    box->setChecked(false);
                update();
            });
        }
        row->addStretch();
        form->addRow(m_model.t(QStringLiteral("editor.modifiers")), row);
        std::uint64_t flags = 0;
        std::visit([&](const auto& p) {
            if constexpr (requires { p.flags; })
                flags = p.flags;
        }, action.payload);
        showModifiers(flags);
    }
    if (const auto* scroll = std::get_if<MacroAction::Scroll>(&action.payload)) {
        auto clicks = [](std::int32_t value) {
            auto* field = new QSpinBox;
            field->setRange(-1000, 1000);
            field->setValue(std::clamp<std::int32_t>(value, -1000, 1000));
            return field;
        };
        m_wheelX = clicks(scroll->deltaX);
        m_wheelY = clicks(scroll->deltaY);
        auto* row = new QHBoxLayout;
        row->addWidget(m_wheelX);
        row->addWidget(m_wheelY);
        form->addRow(m_model.t(QStringLiteral("editor.wheel")), row);
    }
    if (const auto* focus = std::get_if<MacroAction::WindowFocus>(&action.payload)) {
        m_application = new QComboBox;
        m_application->setEditable(true);
        m_application->setInsertPolicy(QComboBox::NoInsert);
        for (const RunningApplication& app : m_model.runningApplications())
            m_application->addItem(app.name, app.id);
        const int known = m_application->findData(focus->bundleID());
        if (known >= 0)
            m_application->setCurrentIndex(known);
        else
            m_application->setEditText(focus->appName());
        form->addRow(m_model.t(QStringLiteral("editor.app")), m_application);
        connect(m_application, &QComboBox::editTextChanged, this, &ActionEditorDialog::update);
    }
    if (const auto* delay = std::get_if<MacroAction::Delay>(&action.payload)) {
        m_duration = new QDoubleSpinBox;
        m_duration->setRange(0.001, 3600);
        m_duration->setDecimals(3);
        m_duration->setSuffix(QStringLiteral(" s"));
        m_duration->setValue(std::isfinite(delay->duration) && delay->duration > 0 ? delay->duration : 0.5);
        form->addRow(m_model.t(QStringLiteral("editor.duration")), m_duration);
    }

    m_problem = new QLabel;
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #d70015"));
    auto* cancel = new QPushButton(m_model.t(QStringLiteral("editor.cancel")));
    m_ok = new QPushButton(m_model.t(purpose == Purpose::edit ? QStringLiteral("editor.save") : QStringLiteral("editor.insert")));
    m_ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (problem().isEmpty())
            accept();
    });
    update();
}

ActionEditorDialog::~ActionEditorDialog() = default;

QCheckBox* ActionEditorDialog::modifierField(std::uint64_t flag) const
{
    for (const auto& [f, box] : m_modifiers)
        if (f == flag)
            return box;
    return nullptr;
}

std::uint64_t ActionEditorDialog::modifiers() const
{
    std::uint64_t flags = 0;
    for (const auto& [flag, box] : m_modifiers)
        if (box->isChecked())
            flags |= flag;
    return flags;
}

void ActionEditorDialog::showModifiers(std::uint64_t flags)
{
    const bool altGr = (flags & ModifierFlags::altGr) == ModifierFlags::altGr;
    for (const auto& [flag, box] : m_modifiers) {
        const QSignalBlocker quiet(box);
        if (flag == ModifierFlags::altGr)
            box->setChecked(altGr);
        else if (flag == ModifierFlags::option)
            box->setChecked((flags & flag) && !altGr);
        else
            box->setChecked((flags & flag) == flag);
    }
    update();
}

void ActionEditorDialog::setKey(std::uint16_t keyCode)
{
    m_keyCode = keyCode;
    m_keySet = true;
    update();
}

MacroAction ActionEditorDialog::action() const
{
    MacroAction result = m_action;
    const double x = m_x ? m_x->value() : 0;
    const double y = m_y ? m_y->value() : 0;
    const auto button = m_button ? MouseButton(m_button->currentData().toInt()) : MouseButton::left;
    // Modifier flags other than the five the form shows (caps lock, device bits) stay.
    auto flagsFrom = [this](std::uint64_t old) {
        const std::uint64_t shown = ModifierFlags::shift | ModifierFlags::control | ModifierFlags::altGr | ModifierFlags::command;
        return (old & ~shown) | modifiers();
    };
    std::visit(
        [&](auto& p) {
            using T = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<T, MacroAction::KeyDown> || std::is_same_v<T, MacroAction::KeyUp>) {
                p.keyCode = m_keyCode;
                p.flags = flagsFrom(p.flags);
            } else if constexpr (std::is_same_v<T, MacroAction::MouseMove>) {
                p.x = x;
                p.y = y;
            } else if constexpr (std::is_same_v<T, MacroAction::MouseDown> || std::is_same_v<T, MacroAction::MouseUp> ||
                                 std::is_same_v<T, MacroAction::MouseDrag>) {
                p.x = x;
                p.y = y;
                p.button = button;
                p.flags = flagsFrom(p.flags);
                if constexpr (std::is_same_v<T, MacroAction::MouseDown>) {
                    if (m_likeness && p.sight) {
                        ClickSight sight = *p.sight.get();
                        // 0.8 is the usual likeness: kept as "the usual", so files stay as they were.
                        sight.threshold = std::abs(m_likeness->value() - 0.8) < 0.001 ? 0 : m_likeness->value();
                        if (!(sight == *p.sight.get()))
                            p.sight = SightRef(std::move(sight));
                    }
                }
            } else if constexpr (std::is_same_v<T, MacroAction::Scroll>) {
                p.x = x;
                p.y = y;
                p.deltaX = m_wheelX->value();
                p.deltaY = m_wheelY->value();
                p.flags = flagsFrom(p.flags);
            } else if constexpr (std::is_same_v<T, MacroAction::WindowFocus>) {
                const QString text = m_application->currentText().trimmed();
                const int known = m_application->findText(text);
                const QString id = known >= 0 ? m_application->itemData(known).toString() : text;
                p = MacroAction::WindowFocus(id, text);
            } else if constexpr (std::is_same_v<T, MacroAction::Delay>) {
                p.duration = m_duration->value();
            }
        },
        result.payload);
    return result;
}

double ActionEditorDialog::gap() const
{
    return m_gap->value() / 1000.0;
}

QString ActionEditorDialog::problem() const
{
    if (m_key && (!m_keySet || m_model.keyboardLayout().keyName(m_keyCode).isEmpty()))
        return m_model.t(QStringLiteral("editor.error.key"));
    if (m_application && m_application->currentText().trimmed().isEmpty())
        return m_model.t(QStringLiteral("editor.error.app"));
    if (m_wheelX && m_wheelX->value() == 0 && m_wheelY->value() == 0)
        return m_model.t(QStringLiteral("editor.error.wheel"));
    return {};
}

void ActionEditorDialog::update()
{
    if (!m_ok) // still being built
        return;
    const MacroAction current = action();
    // What the action is: a key as the layout names it with its modifiers ("↓ Shift+H").
    QString title = current.displayName();
    if (isKey(current) && !m_keySet)
        title = m_model.t(QStringLiteral("editor.key")); // no key yet: no key code to show
    if (isKey(current) && m_keySet) {
        const QString chord = ActionChordText::of(current, m_model.keyboardLayout());
        if (!chord.isEmpty())
            title = (holds<MacroAction::KeyDown>(current) ? QStringLiteral("\u2193 ") : QStringLiteral("\u2191 ")) + chord;
    }
    m_title->setText(title);
    if (m_key)
        m_key->setChordText(m_keySet ? m_model.keyboardLayout().keyName(m_keyCode)
                                     : m_model.t(QStringLiteral("editor.key.none")));
    const QString why = problem();
    m_problem->setText(why);
    m_problem->setVisible(!why.isEmpty());
    m_ok->setEnabled(why.isEmpty());
}

int ActionEditorDialog::exec()
{
    return ScreenPointPicker::execThroughPicks(*this, [this] { return m_picker; });
}

void ActionEditorDialog::pickOnScreen()
{
    // The windows behind the form step aside too; the form itself comes back through exec().
    const std::vector<QWidget*> aside = ScreenPointPicker::windowsBehind(this);
    m_picker = new ScreenPointPicker(aside, m_model.t(QStringLiteral("editor.pick.hint")), this);
    connect(m_picker, &ScreenPointPicker::picked, this, [this](std::optional<QPointF> point) {
        if (point) {
            m_x->setValue(std::round(point->x()));
            m_y->setValue(std::round(point->y()));
        }
        m_picker->deleteLater();
        m_picker = nullptr;
        update();
    });
    hide();
    m_picker->start();
}
