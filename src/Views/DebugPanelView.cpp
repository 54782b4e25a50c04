#include "Views/DebugPanelView.h"

#include "Services/LogService.h"
#include "Views/Icons.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>
#include <QToolButton>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

DebugPanelView::DebugPanelView(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Debug Log"));
    setMinimumSize(540, 380);
    resize(640, 440);
    auto* icon = new QLabel;
    icon->setPixmap(Icons::pixmap(QStringLiteral("terminal"), QColor(0x8e, 0x8e, 0x93), 16));
    auto* title = new QLabel(QStringLiteral("Debug Log"));
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    m_search = new QLineEdit;
    m_search->setPlaceholderText(QStringLiteral("Search..."));
    m_search->setFixedWidth(160);
    m_level = new QComboBox;
    m_level->setFixedWidth(90);
    m_level->setToolTip(QStringLiteral("Filter by level"));
    m_level->addItem(QStringLiteral("All"));
    for (const LogEntry::Level level : LogEntry::allLevels)
        m_level->addItem(LogEntry::levelText(level));
    auto* copy = new QToolButton;
    copy->setIcon(Icons::icon(QStringLiteral("clipboard")));
    copy->setToolTip(QStringLiteral("Copy visible entries"));
    copy->setAutoRaise(true);
    auto* clear = new QPushButton(QStringLiteral("Clear"));
    clear->setFlat(true);
    auto* done = new QPushButton(QStringLiteral("Done"));
    done->setDefault(true);
    m_text = new QTextEdit;
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_footer = new QLabel;
    m_footer->setStyleSheet(QStringLiteral("color: gray"));

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(title);
    top->addStretch();
    top->addWidget(m_search);
    top->addWidget(m_level);
    top->addWidget(copy);
    top->addWidget(clear);
    top->addWidget(done);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_footer);

    connect(m_level, &QComboBox::currentIndexChanged, this, [this] { redraw(); });
    connect(m_search, &QLineEdit::textChanged, this, [this] { redraw(); });
    connect(copy, &QToolButton::clicked, this, [this] { QApplication::clipboard()->setText(LogService::text(shown())); });
    connect(clear, &QPushButton::clicked, this, [] { LogService::shared()->setEntries({}); });
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    connect(LogService::shared(), &LogService::entriesChanged, this, &DebugPanelView::entriesChanged);
    redraw();
    followNewest();
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

QString DebugPanelView::rowHtml(const LogEntry& entry)
{
    static const char* glyphs[] = {"\u2699", "\u2139", "\u26a0", "\u2715"};
    static const char* colours[] = {"#8e8e93", "#0a84ff", "#ff9f0a", "#ff3b30"};
    const auto level = std::size_t(entry.level);
    return QStringLiteral("<span style='color:%1'>%2</span>&nbsp;<span style='color:gray'>%3</span>&nbsp;&nbsp;%4")
        .arg(QLatin1String(colours[level]), QString::fromUtf8(glyphs[level]),
             entry.timestamp.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz")),
             entry.message.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
}

void DebugPanelView::redraw()
{
    // A new filter or search keeps the place the reader was looking at.
    const int scrolled = m_text->verticalScrollBar()->value();
    const QList<LogEntry> entries = shown();
    QString html = QStringLiteral("<div style='font-family:monospace'>");
    for (const LogEntry& e : entries)
        html += QStringLiteral("<p style='margin:0'>") + rowHtml(e) + QStringLiteral("</p>");
    html += QStringLiteral("</div>");
    m_text->setHtml(html);
    m_shownIds.clear();
    for (const LogEntry& e : entries)
        m_shownIds << e.id;
    m_text->verticalScrollBar()->setValue(std::min(scrolled, m_text->verticalScrollBar()->maximum()));
    updateFooter();
}

void DebugPanelView::entriesChanged()
{
    const QList<LogEntry> entries = shown();
    // Usually entries were only added (and, at the bound, the oldest dropped): change
    // just those lines instead of drawing the whole log again.
    qsizetype dropped = 0;
    while (dropped < m_shownIds.size() && (entries.isEmpty() || m_shownIds[dropped] != entries.front().id))
        ++dropped;
    const qsizetype kept = m_shownIds.size() - dropped;
    bool appendOnly = kept <= entries.size() && (kept > 0 || m_shownIds.isEmpty());
    for (qsizetype i = 0; appendOnly && i < kept; ++i)
        appendOnly = m_shownIds[dropped + i] == entries[i].id;
    if (!appendOnly) {
        redraw();
        followNewest();
        return;
    }
    QTextCursor cursor(m_text->document());
    for (qsizetype i = 0; i < dropped; ++i) {
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    m_shownIds.remove(0, dropped);
    for (qsizetype i = kept; i < entries.size(); ++i) {
        cursor.movePosition(QTextCursor::End);
        if (!m_shownIds.isEmpty())
            cursor.insertBlock();
        cursor.insertHtml(QStringLiteral("<span style='font-family:monospace'>") + rowHtml(entries[i]) +
                          QStringLiteral("</span>"));
        m_shownIds << entries[i].id;
    }
    updateFooter();
    followNewest();
}

void DebugPanelView::followNewest()
{
    m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());
}

void DebugPanelView::updateFooter()
{
    m_footer->setText(
        QStringLiteral("%1 / %2 entries").arg(m_shownIds.size()).arg(LogService::shared()->entries().size()));
}
