#include "Services/Cloud/PendingBackups.h"

#include "Codec/MacroJsonEncoder.h"

#include <QCryptographicHash>
#include <algorithm>

namespace {

const QString kKey = QStringLiteral("cloud/pendingBackups");

bool inLibrary(const QUuid& id, const std::vector<Macro>& library)
{
    return std::any_of(library.begin(), library.end(), [&](const Macro& m) { return m.id == id; });
}

} // namespace

PendingBackups::PendingBackups(QSettings& settings) : m_settings(settings) {}

std::vector<PendingBackups::Entry> PendingBackups::entries() const
{
    std::vector<Entry> list;
    const QStringList stored = m_settings.value(kKey).toStringList();
    for (const QString& line : stored) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.size() != 2 && parts.size() != 3)
            continue;
        const QUuid id = QUuid::fromString(parts[0]);
        const QByteArray print = parts[1].toLatin1();
        if (id.isNull() || print.size() != 64)
            continue;
        list.push_back({id, print, parts.value(2)});
    }
    return list;
}

void PendingBackups::store(const std::vector<Entry>& entries)
{
    QStringList lines;
    const std::size_t first = entries.size() > std::size_t(maxEntries) ? entries.size() - maxEntries : 0;
    for (std::size_t i = first; i < entries.size(); ++i)
        lines.append(entries[i].id.toString(QUuid::WithoutBraces) + QLatin1Char(' ') +
                     QString::fromLatin1(entries[i].fingerprint) +
                     (entries[i].account.isEmpty() ? QString() : QLatin1Char(' ') + entries[i].account));
    if (lines.isEmpty())
        m_settings.remove(kKey);
    else
        m_settings.setValue(kKey, lines);
    m_settings.sync();
}

void PendingBackups::add(const Macro& macro, const QString& account)
{
    std::vector<Entry> list = entries();
    std::erase_if(list, [&](const Entry& e) { return e.id == macro.id; });
    // A uid is letters, digits and hyphens; anything else is not kept.
    const bool plain = std::all_of(account.begin(), account.end(), [](QChar c) {
        return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('-'));
    });
    list.push_back({macro.id, fingerprint(macro), plain && account.size() <= 100 ? account : QString()});
    store(list);
}

void PendingBackups::remove(const QUuid& id)
{
    std::vector<Entry> list = entries();
    if (std::erase_if(list, [&](const Entry& e) { return e.id == id; }) > 0)
        store(list);
}

bool PendingBackups::adopt(const Macro& imported, const std::vector<Macro>& library)
{
    std::vector<Entry> list = entries();
    const QByteArray print = fingerprint(imported);
    for (Entry& entry : list)
        if (entry.fingerprint == print && entry.id != imported.id && !inLibrary(entry.id, library)) {
            entry.id = imported.id;
            store(list);
            return true;
        }
    return false;
}

QByteArray PendingBackups::fingerprint(const Macro& macro)
{
    // Only the actions: an import gives a new id and dates, and may keep another name.
    Macro actionsOnly;
    actionsOnly.actions = macro.actions;
    auto encoded = MacroJsonEncoder::encodeMacro(actionsOnly, JsonWriter::Layout::compact);
    return QCryptographicHash::hash(encoded ? encoded.value() : QByteArray(), QCryptographicHash::Sha256).toHex();
}
