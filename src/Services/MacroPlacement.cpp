#include "Services/MacroPlacement.h"

#include <QDateTime>

namespace MacroPlacement {

std::optional<std::size_t> putInPlace(std::vector<Macro>& library, Macro macro)
{
    macro.metadata.modifiedAt = QDateTime::currentDateTimeUtc();
    for (std::size_t i = 0; i < library.size(); ++i) {
        if (library[i].id != macro.id)
            continue;
        macro.metadata.createdAt = library[i].metadata.createdAt;
        library[i] = std::move(macro);
        return i;
    }
    library.insert(library.begin(), std::move(macro));
    return std::nullopt;
}

Expected<std::optional<std::size_t>, QString> replaceByName(std::vector<Macro>& library, Macro macro)
{
    std::vector<std::size_t> named;
    for (std::size_t i = 0; i < library.size(); ++i)
        if (library[i].metadata.name == macro.metadata.name)
            named.push_back(i);
    if (named.size() > 1)
        return failure(QStringLiteral("%1 macros are named \"%2\"; delete or rename all but one to replace it")
                           .arg(named.size())
                           .arg(macro.metadata.name));
    if (named.size() == 1)
        macro.id = library[named.front()].id;
    return putInPlace(library, std::move(macro));
}

} // namespace MacroPlacement
