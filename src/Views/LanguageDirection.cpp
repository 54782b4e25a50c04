#include "Views/LanguageDirection.h"

#include "Services/Localization/AppLocale.h"
#include "ViewModels/AppViewModel.h"

#include <QGuiApplication>

namespace LanguageDirection {

namespace {

void apply(const AppViewModel& model)
{
    const bool rightToLeft = AppLocales::resolved(model.appLanguage()) == AppLocale::ar;
    QGuiApplication::setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
}

} // namespace

void follow(AppViewModel& model)
{
    apply(model);
    const char* marker = "quilloFollowsLanguageDirection";
    if (model.property(marker).toBool())
        return;
    model.setProperty(marker, true);
    QObject::connect(&model, &AppViewModel::appLanguageChanged, &model, [&model] { apply(model); });
}

} // namespace LanguageDirection
