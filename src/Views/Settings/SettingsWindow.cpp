#include "Views/Settings/SettingsWindow.h"

#include <QAction>
#include <QCoreApplication>

#include "Services/Localization/AppLocale.h"
#include "ViewModels/AppViewModel.h"

#include <QButtonGroup>
#include <algorithm>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QUrl>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(AppViewModel& model, QWidget* parent) : QWidget(parent, Qt::Window), m_model(model)
{
    setWindowTitle(QStringLiteral("Quillo Settings"));
    setObjectName(QStringLiteral("settings"));
    setFixedWidth(460);
    // Every window quits with Ctrl+Q (the main window may be hidden).
    auto* quit = new QAction(QStringLiteral("Quit"), this);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, [] { QCoreApplication::exit(0); });
    addAction(quit);

    m_language = new QGroupBox;
    m_languageTitle = new QLabel;
    m_languageSubtitle = new QLabel;
    m_languageSubtitle->setWordWrap(true);
    m_languageSubtitle->setStyleSheet(QStringLiteral("color: gray"));
    m_languages = new QButtonGroup(this);
    auto* languageLayout = new QVBoxLayout(m_language);
    languageLayout->addWidget(m_languageTitle);
    languageLayout->addWidget(m_languageSubtitle);
    for (const AppLocale locale : AppLocales::all) {
        auto* row = new QRadioButton;
        m_languages->addButton(row, int(locale));
        languageLayout->addWidget(row);
        row->setChecked(locale == m_model.appLanguage());
    }
    connect(m_languages, &QButtonGroup::idClicked, this,
            [this](int id) { m_model.setAppLanguage(static_cast<AppLocale>(id)); });

    m_hotkeys = new QGroupBox;
    m_hotkeyRows = new QLabel;
    m_hotkeyNote = new QLabel;
    m_hotkeyNote->setWordWrap(true);
    m_hotkeyNote->setStyleSheet(QStringLiteral("color: gray"));
    auto* hotkeyLayout = new QVBoxLayout(m_hotkeys);
    hotkeyLayout->addWidget(m_hotkeyRows);
    hotkeyLayout->addWidget(m_hotkeyNote);

    m_storage = new QGroupBox;
    m_storageLocation = new QLabel;
    m_storageLocation->setWordWrap(true);
    m_reveal = new QPushButton;
    connect(m_reveal, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(m_model.storage().storageURL()).absolutePath()));
    });
    auto* storageLayout = new QVBoxLayout(m_storage);
    storageLayout->addWidget(m_storageLocation);
    storageLayout->addWidget(m_reveal, 0, Qt::AlignLeft);

    m_about = new QGroupBox;
    m_aboutRows = new QLabel;
    auto* aboutLayout = new QVBoxLayout(m_about);
    aboutLayout->addWidget(m_aboutRows);

    auto* layout = new QVBoxLayout(this);
    for (QGroupBox* box : {m_language, m_hotkeys, m_storage, m_about})
        layout->addWidget(box);
    layout->addStretch();

    const QByteArray geometry = QSettings().value(QStringLiteral("Quillo.SettingsWindow")).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    connect(&m_model, &AppViewModel::appLanguageChanged, this, &SettingsWindow::retranslate);
    connect(&m_model, &AppViewModel::macrosChanged, this, &SettingsWindow::retranslate);
    retranslate();
}

void SettingsWindow::fitHeight()
{
    // Fixed like the width: as tall as the texts of the chosen language need.
    layout()->activate();
    setFixedHeight(std::max(560, sizeHint().height()));
}

void SettingsWindow::retranslate()
{
    m_language->setTitle(m_model.t(QStringLiteral("settings.section.language")));
    m_languageTitle->setText(m_model.t(QStringLiteral("language.title")));
    m_languageSubtitle->setText(m_model.t(QStringLiteral("language.subtitle")));
    for (const AppLocale locale : AppLocales::all) {
        const QString name = locale == AppLocale::system ? m_model.t(QStringLiteral("language.systemLabel"))
                                                         : AppLocales::nativeName(locale);
        m_languages->button(int(locale))->setText(AppLocales::flag(locale) + QLatin1Char(' ') + name);
    }
    m_hotkeys->setTitle(m_model.t(QStringLiteral("settings.section.hotkeys")));
    m_hotkeyRows->setText(QStringLiteral("%1\tSuper R\n%2\tSuper Alt P\n%3\tSuper P")
                              .arg(m_model.t(QStringLiteral("settings.hotkeys.start")),
                                   m_model.t(QStringLiteral("settings.hotkeys.stop")),
                                   m_model.t(QStringLiteral("settings.hotkeys.playStop"))));
    m_hotkeyNote->setText(m_model.t(QStringLiteral("settings.hotkeys.note")));
    // Wrapped lines need their height before the fixed-width window lays them out.
    for (QLabel* wrapped : {m_languageSubtitle, m_hotkeyNote, m_storageLocation})
        wrapped->setMinimumHeight(wrapped->heightForWidth(400));
    m_storage->setTitle(m_model.t(QStringLiteral("settings.section.storage")));
    // The path is isolated left to right, so that it reads as a path in Arabic too.
    m_storageLocation->setText(m_model.t(QStringLiteral("settings.storage.location")) + QStringLiteral(": ") +
                               QChar(0x2066) + m_model.storage().storageURL() + QChar(0x2069));
    m_reveal->setText(m_model.t(QStringLiteral("settings.storage.showInFinder")));
    m_about->setTitle(m_model.t(QStringLiteral("settings.section.about")));
    m_aboutRows->setText(QStringLiteral("%1: %2\n%3: %4")
                             .arg(m_model.t(QStringLiteral("settings.about.version")), QStringLiteral(QUILLO_VERSION),
                                  m_model.t(QStringLiteral("settings.about.macrosStored")))
                             .arg(m_model.macros().size()));
    fitHeight();
}

void SettingsWindow::hideEvent(QHideEvent* event)
{
    QSettings().setValue(QStringLiteral("Quillo.SettingsWindow"), saveGeometry());
    QWidget::hideEvent(event);
}
