#include "Views/DebugPanelView.h"

#include "Services/LogService.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

DebugPanelView::DebugPanelView(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Debug Log"));
    resize(640, 420);
    m_level = new QComboBox;
    m_level->addItem(QStringLiteral("All"));
    for (const LogEntry::Level level : LogEntry::allLevels)
        m_level->addItem(LogEntry::levelText(level));
    m_search = new QLineEdit;
    m_search->setPlaceholderText(QStringLiteral("Search"));
    auto* copy = new QPushButton(QStringLiteral("Copy"));
    auto* clear = new QPushButton(QStringLiteral("Clear"));
    m_text = new QPlainTextEdit;
    m_text->setReadOnly(true);
    m_text->setStyleSheet(QStringLiteral("font-family: monospace"));
    m_footer = new QLabel;
    m_follow = new QCheckBox(QStringLiteral("Follow newest"));
    m_follow->setChecked(true);

    auto* top = new QHBoxLayout;
    top->addWidget(m_level);
    top->addWidget(m_search, 1);
    top->addWidget(copy);
    top->addWidget(clear);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_footer);
    bottom->addStretch();
    bottom->addWidget(m_follow);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_text, 1);
    layout->addLayout(bottom);

    connect(m_level, &QComboBox::currentIndexChanged, this, &DebugPanelView::refresh);
    connect(m_search, &QLineEdit::textChanged, this, &DebugPanelView::refresh);
    connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(LogService::text(shown())); });
    connect(clear, &QPushButton::clicked, this, [] { LogService::shared()->setEntries({}); });
    connect(LogService::shared(), &LogService::entriesChanged, this, &DebugPanelView::refresh);
    refresh();
}

QList<LogEntry> DebugPanelView::filtered(const QList<LogEntry>& entries, std::optional<LogEntry::Level> level,
                                         const QString& search)
{
    QList<LogEntry> result;
    for (const LogEntry& e : entries) {
        if (level && e.level != *level)
            continue;
        if (!search.isEmpty() && !e.message.contains(search, Qt::CaseInsensitive))
            continue;
        result.append(e);
    }
    return result;
}

QList<LogEntry> DebugPanelView::shown() const
{
    const int index = m_level->currentIndex();
    const auto level = index <= 0 ? std::nullopt
                                  : std::optional<LogEntry::Level>(LogEntry::allLevels[std::size_t(index - 1)]);
    return filtered(LogService::shared()->entries(), level, m_search->text());
}

void DebugPanelView::refresh()
{
    const QList<LogEntry> entries = shown();
    m_text->setPlainText(LogService::text(entries));
    m_footer->setText(QStringLiteral("%1 of %2 entries").arg(entries.size()).arg(LogService::shared()->entries().size()));
    if (m_follow->isChecked())
        m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());
}
