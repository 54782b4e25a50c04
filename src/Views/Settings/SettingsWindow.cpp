#include "Views/Settings/SettingsWindow.h"

#include "Services/Localization/AppLocale.h"
#include "ViewModels/AppViewModel.h"
#include "ViewModels/SettingsViewModel.h"
#include "Views/ChordButton.h"
#include "Views/Settings/AccountSettingsSection.h"
#include "Views/Settings/UpdatesSettingsSection.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include "Views/LanguageDirection.h"

#include <QScrollArea>
#include <QSettings>
#include <QUrl>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(AppViewModel& model, QWidget* parent) : QWidget(parent, Qt::Window), m_model(model)
{
    setWindowTitle(QStringLiteral("Quillo Settings"));
    setObjectName(QStringLiteral("settings"));
    LanguageDirection::follow(model);
    setFixedSize(480, 640);
    m_viewModel = new SettingsViewModel(model, this);
    // Every window quits with Ctrl+Q (the main window may be hidden).
    auto* quit = new QAction(QStringLiteral("Quit"), this);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, [] { QCoreApplication::exit(0); });
    addAction(quit);

    m_account = new AccountSettingsSection(model, *m_viewModel);

    m_language = new QGroupBox;
    m_languageTitle = new QLabel;
    m_languageSubtitle = new QLabel;
    m_languageSubtitle->setWordWrap(true);
    m_languageSubtitle->setStyleSheet(QStringLiteral("color: gray"));
    m_languages = new QComboBox;
    // As wide as its longest entry in the current language ("Match system language").
    m_languages->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const AppLocale locale : AppLocales::all)
        m_languages->addItem(QString(), int(locale));
    m_languages->setCurrentIndex(m_languages->findData(int(m_model.appLanguage())));
    connect(m_languages, &QComboBox::activated, this, [this](int index) {
        m_model.setAppLanguage(static_cast<AppLocale>(m_languages->itemData(index).toInt()));
    });
    auto* languageRow = new QHBoxLayout;
    languageRow->addWidget(m_languageTitle, 1);
    languageRow->addWidget(m_languages);
    auto* languageLayout = new QVBoxLayout(m_language);
    languageLayout->addLayout(languageRow);
    languageLayout->addWidget(m_languageSubtitle);

    // Each hotkey's chord: click it and press a new one; a refusal shows under it.
    m_hotkeys = new QGroupBox;
    auto* hotkeyGrid = new QGridLayout;
    for (const quint32 id : {HotkeyViewModel::toggleRecording, HotkeyViewModel::stopRecording,
                             HotkeyViewModel::togglePlayback}) {
        HotkeyRow row{id, new QLabel, new ChordButton, new QLabel};
        row.chord->setObjectName(QStringLiteral("hotkey%1").arg(id));
        // All three as wide as the widest, so that the rows line up in every language.
        row.chord->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        row.problem->setWordWrap(true);
        row.problem->setStyleSheet(QStringLiteral("color: #d70015"));
        row.chord->onListening = [this](bool on) { m_model.hotkeys().setSuspended(on); };
        connect(row.chord, &ChordButton::chordChosen, this, [this, id](const HotkeyChord& chord) {
            const QString refused = m_model.hotkeyChords().setChord(id, chord);
            refreshHotkeys();
            for (const HotkeyRow& r : m_hotkeyRows)
                if (r.id == id && !refused.isEmpty()) {
                    r.problem->setText(refused);
                    r.problem->show();
                }
        });
        const int line = hotkeyGrid->rowCount();
        hotkeyGrid->addWidget(row.title, line, 0);
        hotkeyGrid->addWidget(row.chord, line, 1);
        hotkeyGrid->addWidget(row.problem, line + 1, 0, 1, 2);
        m_hotkeyRows.push_back(row);
    }
    hotkeyGrid->setColumnStretch(0, 1);
    m_hotkeyNote = new QLabel;
    m_hotkeyNote->setWordWrap(true);
    m_hotkeyNote->setStyleSheet(QStringLiteral("color: gray"));
    auto* hotkeyLayout = new QVBoxLayout(m_hotkeys);
    hotkeyLayout->addLayout(hotkeyGrid);
    hotkeyLayout->addWidget(m_hotkeyNote);
    connect(&m_model.hotkeyChords(), &HotkeyViewModel::changed, this, &SettingsWindow::refreshHotkeys);

    m_storage = new QGroupBox;
    m_storageLocation = new QLabel;
    m_storageLocation->setWordWrap(true);
    m_reveal = new QPushButton;
    connect(m_reveal, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(m_model.storage().storageURL()).absolutePath()));
    });
    auto* storageLayout = new QVBoxLayout(m_storage);
    storageLayout->addWidget(m_storageLocation);
    storageLayout->addWidget(m_reveal, 0, Qt::AlignLeading);

    m_updates = new UpdatesSettingsSection(model, *m_viewModel);

    m_about = new QGroupBox;
    m_aboutRows = new QLabel;
    auto* aboutLayout = new QVBoxLayout(m_about);
    aboutLayout->addWidget(m_aboutRows);

    // The form scrolls when a language or a state needs more room than the window has.
    auto* form = new QWidget;
    auto* formLayout = new QVBoxLayout(form);
    for (QWidget* section : std::initializer_list<QWidget*>{m_account, m_language, m_hotkeys, m_storage, m_updates, m_about})
        formLayout->addWidget(section);
    formLayout->addStretch();
    auto* scroll = new QScrollArea;
    scroll->setWidget(form);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);

    const QByteArray geometry = QSettings().value(QStringLiteral("Quillo.SettingsWindow")).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    connect(&m_model, &AppViewModel::appLanguageChanged, this, &SettingsWindow::retranslate);
    connect(&m_model, &AppViewModel::macrosChanged, this, &SettingsWindow::retranslate);
    connect(&m_model, &AppViewModel::appLanguageChanged, m_account, &AccountSettingsSection::refresh);
    connect(&m_model, &AppViewModel::appLanguageChanged, m_updates, &UpdatesSettingsSection::refresh);
    retranslate();
}

void SettingsWindow::retranslate()
{
    setWindowTitle(m_model.t(QStringLiteral("settings.title")) + QStringLiteral(" \u2014 Quillo"));
    m_language->setTitle(m_model.t(QStringLiteral("settings.section.language")));
    m_languageTitle->setText(m_model.t(QStringLiteral("language.title")));
    m_languageSubtitle->setText(m_model.t(QStringLiteral("language.subtitle")));
    for (int i = 0; i < m_languages->count(); ++i) {
        const auto locale = static_cast<AppLocale>(m_languages->itemData(i).toInt());
        const QString name = locale == AppLocale::system ? m_model.t(QStringLiteral("language.systemLabel"))
                                                         : AppLocales::nativeName(locale);
        m_languages->setItemText(i, AppLocales::flag(locale) + QLatin1Char(' ') + name);
    }
    m_languages->setCurrentIndex(m_languages->findData(int(m_model.appLanguage())));
    m_hotkeys->setTitle(m_model.t(QStringLiteral("settings.section.hotkeys")));
    const char* const titles[] = {"settings.hotkeys.start", "settings.hotkeys.stop", "settings.hotkeys.playStop"};
    for (const HotkeyRow& row : m_hotkeyRows) {
        row.title->setText(m_model.t(QString::fromLatin1(titles[row.id - 1])));
        row.chord->setListeningText(m_model.t(QStringLiteral("settings.hotkeys.press")));
    }
    refreshHotkeys();
    m_hotkeyNote->setText(m_model.t(QStringLiteral("settings.hotkeys.note")));
    m_storage->setTitle(m_model.t(QStringLiteral("settings.section.storage")));
    // The path is isolated left to right, so that it reads as a path in Arabic too.
    m_storageLocation->setText(m_model.t(QStringLiteral("settings.storage.location")) + QStringLiteral(": ") +
                               QChar(0x2066) + m_model.storage().storageURL() + QChar(0x2069));
    m_reveal->setText(m_model.t(QStringLiteral("settings.storage.showInFinder")));
    m_about->setTitle(m_model.t(QStringLiteral("settings.section.about")));
    m_aboutRows->setText(QStringLiteral("%1: %2\n%3: %4")
                             .arg(m_model.t(QStringLiteral("settings.about.version")),
                                  SettingsViewModel::versionText(QStringLiteral(QUILLO_VERSION), {}),
                                  m_model.t(QStringLiteral("settings.about.macrosStored")))
                             .arg(m_model.macros().size()));
}

void SettingsWindow::refreshHotkeys()
{
    const HotkeyViewModel& chords = m_model.hotkeyChords();
    for (const HotkeyRow& row : m_hotkeyRows) {
        const QString inForce = chords.text(row.id);
        // Not in force: the chord asked for, struck through, with the reason under it.
        row.chord->setChordText(inForce.isEmpty()
                                    ? chords.text(HotkeyViewModel::storedChord(m_model.settings(), row.id))
                                    : inForce);
        QFont font = row.chord->font();
        font.setStrikeOut(inForce.isEmpty());
        row.chord->setFont(font);
        row.problem->setText(chords.problem(row.id));
        row.problem->setVisible(!row.problem->text().isEmpty());
    }
}

void SettingsWindow::hideEvent(QHideEvent* event)
{
    QSettings().setValue(QStringLiteral("Quillo.SettingsWindow"), saveGeometry());
    QWidget::hideEvent(event);
}
