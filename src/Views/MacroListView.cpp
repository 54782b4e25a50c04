#include "Views/MacroListView.h"

#include "ViewModels/AppViewModel.h"
#include "Views/MacroListModel.h"
#include "Views/Icons.h"
#include "Views/RenameSheet.h"
#include "Views/TwoLineRowDelegate.h"

#include <QEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Two lines per macro: the name, then "⚡ N   ◷ D" in a smaller, secondary font.
class MacroRowDelegate : public TwoLineRowDelegate
{
public:
    explicit MacroRowDelegate(QObject* parent) : TwoLineRowDelegate(14, parent) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        paintBackground(painter, option, index);
        const bool selected = option.state & QStyle::State_Selected;
        const QRect r = option.rect.adjusted(10, 5, -8, -5);
        QFont nameFont = option.font;
        nameFont.setWeight(QFont::Medium);
        painter->save();
        painter->setFont(nameFont);
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(r, Qt::AlignLeft | Qt::AlignTop,
                          isolated(QFontMetrics(nameFont).elidedText(index.data().toString(), Qt::ElideRight, r.width())));
        const QFont small = secondaryFont(option.font);
        painter->setFont(small);
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
        const QColor ink = painter->pen().color();
        const int icon = QFontMetrics(small).height() - 2;
        const QRect line(r.left(), r.bottom() - icon - 1, r.width(), icon + 2);
        const QString count = QString::number(index.data(MacroListModel::CountRole).toLongLong());
        const QString duration = index.data(MacroListModel::DurationRole).toString();
        // Each piece in its own box, laid out left to right and mirrored for a language
        // read right to left.
        const QFontMetrics metrics(small);
        auto place = [&](int x, int width) {
            return QStyle::visualRect(option.direction, line, QRect(x, line.top(), width, line.height()));
        };
        int x = line.left();
        painter->drawPixmap(place(x, icon).adjusted(0, 1, 0, -1), Icons::pixmap(QStringLiteral("bolt"), ink, icon));
        x += icon + 3;
        painter->drawText(place(x, metrics.horizontalAdvance(count) + 1), Qt::AlignCenter, count);
        x += metrics.horizontalAdvance(count) + 8;
        painter->drawPixmap(place(x, icon).adjusted(0, 1, 0, -1), Icons::pixmap(QStringLiteral("clock"), ink, icon));
        x += icon + 3;
        painter->drawText(place(x, metrics.horizontalAdvance(duration) + 1), Qt::AlignCenter, duration);
        painter->restore();
    }
};

} // namespace

MacroListView::MacroListView(AppViewModel& model, QWidget* parent) : QWidget(parent), m_model(model)
{
    Icons::ensureRegistered();
    m_listModel = new MacroListModel(model, this);
    m_title = new QLabel;
    QFont headline = m_title->font();
    headline.setBold(true);
    m_title->setFont(headline);
    m_import = new QToolButton;
    m_import->setIcon(Icons::icon(QStringLiteral("import")));
    m_import->setAutoRaise(true);
    connect(m_import, &QToolButton::clicked, this, [this] { m_model.importMacro(); });
    auto* header = new QHBoxLayout;
    header->addWidget(m_title);
    header->addStretch();
    header->addWidget(m_import);

    m_empty = new QLabel;
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    m_list = new QListView;
    m_list->setModel(m_listModel);
    m_list->setItemDelegate(new MacroRowDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setObjectName(QStringLiteral("macroList"));
    connect(m_list, &QWidget::customContextMenuRequested, this, &MacroListView::showContextMenu);
    // The list's own delete command removes the selected macro, without asking.
    auto* remove = new QShortcut(QKeySequence::Delete, m_list, nullptr, nullptr, Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, [this] {
        if (m_list->currentIndex().isValid())
            m_model.library().deleteMacros({m_list->currentIndex().row()});
    });
    m_stack = new QStackedWidget;
    m_stack->addWidget(m_empty);
    m_stack->addWidget(m_list);

    auto* layout = new QVBoxLayout(this);
    setMargins(layout);
    layout->addLayout(header);
    layout->addWidget(m_stack);
    setMinimumWidth(200);

    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid())
            m_model.setSelectedMacroID(current.data(MacroListModel::IdRole).toUuid());
    });
    connect(&m_model, &AppViewModel::macrosChanged, this, &MacroListView::refresh);
    connect(&m_model, &AppViewModel::selectedMacroIDChanged, this, &MacroListView::showSelection);
    connect(&m_model, &AppViewModel::appLanguageChanged, this, &MacroListView::retranslate);
    retranslate();
    refresh();
}

void MacroListView::retranslate()
{
    m_title->setText(m_model.t(QStringLiteral("sidebar.title")));
    m_import->setToolTip(m_model.t(QStringLiteral("sidebar.import.help")));
    m_empty->setText(QStringLiteral("<img src=':/icons/record.svg' width='36' height='36'><div style='color:gray'>%1</div>")
                         .arg(m_model.t(QStringLiteral("sidebar.empty.title")).toHtmlEscaped()));
}

void MacroListView::refresh()
{
    m_stack->setCurrentWidget(m_model.macros().empty() ? static_cast<QWidget*>(m_empty) : m_list);
    showSelection();
}

void MacroListView::showSelection()
{
    const auto selected = m_model.selectedMacroID();
    for (int row = 0; row < m_listModel->rowCount(); ++row) {
        const QModelIndex index = m_listModel->index(row);
        if (selected && index.data(MacroListModel::IdRole).toUuid() == *selected) {
            if (m_list->currentIndex() != index)
                m_list->setCurrentIndex(index);
            return;
        }
    }
    m_list->clearSelection();
}

void MacroListView::rename(const QUuid& id)
{
    QString current;
    for (const Macro& m : m_model.macros())
        if (m.id == id)
            current = m.metadata.name;
    RenameSheet sheet(current, this);
    if (sheet.exec() == QDialog::Accepted)
        m_model.library().renameMacro(id, sheet.name());
}

void MacroListView::showContextMenu(const QPoint& at)
{
    const QModelIndex index = m_list->indexAt(at);
    if (!index.isValid())
        return;
    const QUuid id = index.data(MacroListModel::IdRole).toUuid();
    QMenu menu(this);
    menu.addAction(QStringLiteral("Rename"), this, [this, id] { rename(id); });
    menu.addAction(QStringLiteral("Export..."), this, [this, id] { m_model.exportMacro(id); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Delete"), this, [this, id] { m_model.library().deleteMacro(id); });
    menu.exec(m_list->viewport()->mapToGlobal(at));
}

void MacroListView::setMargins(QLayout* layout)
{
    // Space on the window's side, none where the divider to the detail pane is.
    if (layoutDirection() == Qt::RightToLeft)
        layout->setContentsMargins(0, 8, 8, 0);
    else
        layout->setContentsMargins(8, 8, 0, 0);
}

void MacroListView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LayoutDirectionChange && layout())
        setMargins(layout());
    QWidget::changeEvent(event);
}
