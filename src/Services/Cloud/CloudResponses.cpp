#include "Services/Cloud/CloudResponses.h"

#include "Codec/IsoDate.h"

#include <QCryptographicHash>
#include <algorithm>

#include <simdjson.h>

namespace CloudResponses {

namespace {

using simdjson::dom::element;
using simdjson::dom::object;

// Walks one object; the first problem wins and is kept in `problem`.
class Reader
{
public:
    Reader(object obj, QString where) : m_object(obj), m_where(std::move(where)) {}

    QString text(const char* key)
    {
        const auto value = optionalText(key, false);
        return value.value_or(QString());
    }

    std::optional<QString> optionalText(const char* key, bool optional = true)
    {
        element value;
        if (m_object[key].get(value)) {
            if (!optional)
                fail(QStringLiteral("the key \"%1\" is missing").arg(QLatin1String(key)));
            return std::nullopt;
        }
        if (optional && value.is_null())
            return std::nullopt;
        std::string_view text;
        if (value.get(text)) {
            fail(QStringLiteral("\"%1\" is not a text").arg(QLatin1String(key)));
            return std::nullopt;
        }
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }

    qint64 integer(const char* key)
    {
        element value;
        if (m_object[key].get(value)) {
            fail(QStringLiteral("the key \"%1\" is missing").arg(QLatin1String(key)));
            return 0;
        }
        int64_t number = 0;
        if (value.get(number)) {
            fail(QStringLiteral("\"%1\" is not a whole number").arg(QLatin1String(key)));
            return 0;
        }
        return number;
    }

    double number(const char* key)
    {
        element value;
        if (m_object[key].get(value)) {
            fail(QStringLiteral("the key \"%1\" is missing").arg(QLatin1String(key)));
            return 0;
        }
        if (value.is_int64())
            return double(int64_t(value));
        if (value.is_uint64())
            return double(uint64_t(value));
        double number = 0;
        if (value.get(number)) {
            fail(QStringLiteral("\"%1\" is not a number").arg(QLatin1String(key)));
            return 0;
        }
        return number;
    }

    QDateTime date(const char* key)
    {
        element value;
        if (m_object[key].get(value)) {
            fail(QStringLiteral("the key \"%1\" is missing").arg(QLatin1String(key)));
            return {};
        }
        std::string_view text;
        std::optional<QDateTime> parsed;
        if (!value.get(text))
            parsed = IsoDate::parse(text);
        if (!parsed) {
            fail(QStringLiteral("\"%1\" is not a date of the form 2026-01-31T12:00:00Z").arg(QLatin1String(key)));
            return {};
        }
        return *parsed;
    }

    const std::optional<QString>& problem() const { return m_problem; }

private:
    void fail(const QString& what)
    {
        if (!m_problem)
            m_problem = m_where.isEmpty() ? what : m_where + QStringLiteral(": ") + what;
    }

    object m_object;
    QString m_where;
    std::optional<QString> m_problem;
};

// Parses `body` as a JSON object; the problem otherwise.
std::optional<QString> parseObject(simdjson::dom::parser& parser, const QByteArray& body, object& out)
{
    element root;
    if (auto code = parser.parse(body.constData(), std::size_t(body.size())).get(root))
        return QStringLiteral("the answer is not valid JSON (%1)").arg(QString::fromUtf8(simdjson::error_message(code)));
    if (root.get(out))
        return QStringLiteral("the answer is not a JSON object");
    return std::nullopt;
}

std::optional<QString> member(object parent, const char* key, object& out)
{
    element value;
    if (parent[key].get(value))
        return QStringLiteral("the key \"%1\" is missing").arg(QLatin1String(key));
    if (value.get(out))
        return QStringLiteral("\"%1\" is not an object").arg(QLatin1String(key));
    return std::nullopt;
}

} // namespace

Expected<CloudUser, QString> meResponse(const QByteArray& body)
{
    simdjson::dom::parser parser;
    object root, userObject;
    if (auto problem = parseObject(parser, body, root))
        return failure(*problem);
    if (auto problem = member(root, "user", userObject))
        return failure(*problem);
    Reader reader(userObject, QStringLiteral("user"));
    CloudUser user;
    user.uid = reader.text("uid");
    user.email = reader.text("email");
    user.displayName = reader.optionalText("displayName");
    user.photoURL = reader.optionalText("photoURL");
    if (reader.problem())
        return failure(*reader.problem());
    return user;
}

Expected<QString, QString> tokenResponse(const QByteArray& body)
{
    simdjson::dom::parser parser;
    object root;
    if (auto problem = parseObject(parser, body, root))
        return failure(*problem);
    Reader reader(root, QStringLiteral("response"));
    const QString token = reader.text("token");
    if (reader.problem())
        return failure(*reader.problem());
    const bool plain = std::all_of(token.begin(), token.end(), [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
               (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('_');
    });
    if (token.isEmpty() || token.size() > 200 || !plain)
        return failure(QStringLiteral("\"token\" is not a device token"));
    return token;
}

Expected<CloudBackup, QString> createResponse(const QByteArray& body)
{
    simdjson::dom::parser parser;
    object root, backupObject;
    if (auto problem = parseObject(parser, body, root))
        return failure(*problem);
    if (auto problem = member(root, "backup", backupObject))
        return failure(*problem);
    Reader reader(backupObject, QStringLiteral("backup"));
    CloudBackup backup;
    backup.id = reader.text("id");
    backup.sourceMacroId = reader.text("sourceMacroId");
    backup.name = reader.text("name");
    backup.description = reader.optionalText("description");
    backup.actionCount = reader.integer("actionCount");
    backup.durationSeconds = reader.number("durationSeconds");
    backup.size = reader.integer("size");
    backup.sha256 = reader.text("sha256");
    backup.macroVersion = reader.integer("macroVersion");
    backup.createdAt = reader.date("createdAt");
    backup.updatedAt = reader.date("updatedAt");
    if (reader.problem())
        return failure(*reader.problem());
    return backup;
}

namespace {

// Each object of the array under `key`, read by `read` (which names its own problems).
template <typename T, typename Read>
Expected<std::vector<T>, QString> list(const QByteArray& body, const char* key, Read read)
{
    simdjson::dom::parser parser;
    object root;
    if (auto problem = parseObject(parser, body, root))
        return failure(*problem);
    simdjson::dom::array items;
    if (root[key].get(items))
        return failure(QStringLiteral("\"%1\" is missing or not a list").arg(QLatin1String(key)));
    std::vector<T> result;
    std::size_t index = 0;
    for (element item : items) {
        object o;
        const QString where = QStringLiteral("%1[%2]").arg(QLatin1String(key)).arg(index++);
        if (item.get(o))
            return failure(where + QStringLiteral(" is not an object"));
        Reader reader(o, where);
        T value = read(reader);
        if (reader.problem())
            return failure(*reader.problem());
        result.push_back(std::move(value));
    }
    return result;
}

CloudRevision readRevision(Reader& reader)
{
    CloudRevision revision;
    revision.id = reader.text("id");
    revision.name = reader.text("name");
    revision.createdAt = reader.date("createdAt");
    revision.size = reader.integer("size");
    return revision;
}

} // namespace

Expected<std::vector<CloudBackupSummary>, QString> backupsResponse(const QByteArray& body)
{
    return list<CloudBackupSummary>(body, "backups", [](Reader& reader) {
        CloudBackupSummary backup;
        backup.id = reader.text("id");
        backup.sourceMacroId = reader.text("sourceMacroId");
        backup.name = reader.text("name");
        backup.revisions = int(reader.integer("revisions"));
        backup.latestAt = reader.date("latestAt");
        backup.size = reader.integer("size");
        return backup;
    });
}

Expected<std::vector<CloudRevision>, QString> revisionsResponse(const QByteArray& body)
{
    return list<CloudRevision>(body, "revisions", [](Reader& reader) {
        CloudRevision revision = readRevision(reader);
        revision.actionCount = reader.integer("actionCount");
        return revision;
    });
}

Expected<CloudRevisionFile, QString> revisionFileResponse(const QByteArray& body)
{
    simdjson::dom::parser parser;
    object root, revisionObject;
    if (auto problem = parseObject(parser, body, root))
        return failure(*problem);
    if (auto problem = member(root, "revision", revisionObject))
        return failure(*problem);
    Reader reader(revisionObject, QStringLiteral("revision"));
    CloudRevisionFile file;
    file.revision = readRevision(reader);
    file.sourceMacroId = reader.text("sourceMacroId");
    const QString sha256 = reader.text("sha256");
    if (reader.problem())
        return failure(*reader.problem());
    Reader top(root, {});
    const QString data = top.text("data");
    if (top.problem())
        return failure(*top.problem());
    auto decoded = QByteArray::fromBase64Encoding(data.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return failure(QStringLiteral("\"data\" is not Base64"));
    file.bytes = std::move(*decoded);
    if (file.bytes.size() != file.revision.size)
        return failure(QStringLiteral("the file has %1 bytes but the revision says %2").arg(file.bytes.size()).arg(file.revision.size));
    if (QString::fromLatin1(QCryptographicHash::hash(file.bytes, QCryptographicHash::Sha256).toHex()) != sha256)
        return failure(QStringLiteral("the file does not match the SHA-256 of the revision"));
    return file;
}

Expected<VersionResponse, QString> versionResponse(const QByteArray& body)
{
    simdjson::dom::parser parser;
    object root;
    if (auto problem = parseObject(parser, body, root))
        return failure(*problem);
    Reader reader(root, {});
    VersionResponse info;
    info.version = reader.text("version");
    info.downloadUrl = reader.text("downloadUrl");
    info.releaseNotesUrl = reader.optionalText("releaseNotesUrl");
    info.minSupportedVersion = reader.optionalText("minSupportedVersion");
    if (reader.problem())
        return failure(*reader.problem());
    return info;
}

std::optional<QString> errorMessage(const QByteArray& body)
{
    simdjson::dom::parser parser;
    object root;
    if (parseObject(parser, body, root))
        return std::nullopt;
    element value;
    std::string_view text;
    if (root["error"].get(value) || value.get(text))
        return std::nullopt;
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace CloudResponses
