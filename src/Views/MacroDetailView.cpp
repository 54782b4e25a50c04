#include "Views/MacroDetailView.h"

#include "Library/ActionRetiming.h"
#include "ViewModels/ActionChordText.h"
#include "ViewModels/AppViewModel.h"
#include "ViewModels/DurationFormat.h"
#include "ViewModels/NameText.h"
#include "Views/ActionListModel.h"
#include "Views/ActionEditorDialog.h"
#include "Views/ActionListView.h"
#include "Views/GapsDialog.h"
#include "Views/TypeTextDialog.h"
#include "Views/ChordButton.h"
#include "Views/Icons.h"
#include "Views/InsertDelaySheet.h"
#include "Views/WaitStepDialog.h"
#include "Views/PlaybackControlView.h"
#include "Views/TwoLineRowDelegate.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QShortcut>
#include <QKeyEvent>
#include <utility>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A coloured mark for the kind, the action's line and, under it, "+1.250s".
class ActionRowDelegate : public TwoLineRowDelegate
{
public:
    explicit ActionRowDelegate(QObject* parent) : TwoLineRowDelegate(8, parent) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        paintBackground(painter, option, index);
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRect r = option.rect.adjusted(6, 4, -6, -4);
        const auto kind = static_cast<ActionType>(index.data(ActionListModel::KindRole).toInt());
        // Laid out left to right, then mirrored where the language reads right to left.
        painter->drawPixmap(QStyle::visualRect(option.direction, r, QRect(r.left() + 2, r.center().y() - 8, 16, 16)),
                            Icons::pixmap(ActionListModel::kindIcon(kind), ActionListModel::kindColor(kind), 16));
        // A press shows what the screen showed around it, at the row's end.
        const QPixmap picture = index.data(ActionListModel::PictureRole).value<QPixmap>();
        const int side = r.height();
        if (!picture.isNull()) {
            const QRect place = QStyle::visualRect(option.direction, r, QRect(r.right() - side + 1, r.top(), side, side));
            painter->drawPixmap(place, picture.scaled(place.size() * painter->device()->devicePixelRatioF(),
                                                      Qt::KeepAspectRatio, Qt::SmoothTransformation));
            painter->setPen(option.palette.color(QPalette::Mid));
            painter->drawRect(place.adjusted(0, 0, -1, -1));
        }
        const QRect text = QStyle::visualRect(option.direction, r,
                                              r.adjusted(28, 0, picture.isNull() ? 0 : -(side + 8), 0));
        QFont line = option.font;
        line.setWeight(QFont::Medium);
        painter->setFont(line);
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(text, Qt::AlignLeft | Qt::AlignTop, isolated(index.data().toString()));
        painter->setFont(secondaryFont(option.font));
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
        painter->drawText(text, Qt::AlignLeft | Qt::AlignBottom, isolated(index.data(ActionListModel::TimestampRole).toString()));
        painter->restore();
    }
};

} // namespace

MacroDetailView::MacroDetailView(AppViewModel& model, const QUuid& macroID, QWidget* parent)
    : QWidget(parent), m_model(model), m_macroID(macroID)
{
    m_actions = new ActionListModel(this);
    m_actions->setDescriber([this](const MacroAction& action) { return ActionChordText::of(action, m_model.keyboardLayout()); });
    m_name = new QLabel;
    m_name->setTextFormat(Qt::PlainText); // names come from files: never markup
    QFont title = m_name->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.25);
    m_name->setFont(title);
    m_summary = new QLabel;
    m_summary->setStyleSheet(QStringLiteral("color: gray"));
    m_recordedWith = new QLabel;
    m_recordedWith->setObjectName(QStringLiteral("recordedWith"));
    m_recordedWith->setStyleSheet(QStringLiteral("color: gray"));
    m_recordedWith->setWordWrap(true);
    m_deleteSelected = new QPushButton;
    m_deleteSelected->setFlat(true);
    m_deleteSelected->setStyleSheet(QStringLiteral("color: #d70015"));
    m_deleteSelected->setIcon(Icons::icon(QStringLiteral("trash"), QColor(0xd7, 0x00, 0x15)));
    connect(m_deleteSelected, &QPushButton::clicked, this, &MacroDetailView::deleteSelected);
    m_more = new QToolButton;
    m_more->setIcon(Icons::icon(QStringLiteral("ellipsis")));
    m_more->setIconSize(QSize(20, 20));
    m_more->setAutoRaise(true);
    m_more->setPopupMode(QToolButton::InstantPopup);
    auto* moreMenu = new QMenu(m_more);
    moreMenu->addAction(QStringLiteral("Export..."), this, [this] { m_model.exportMacro(m_macroID); });
    moreMenu->addSeparator();
    moreMenu->addAction(QStringLiteral("Delete Macro"), this, [this] { m_model.library().deleteMacro(m_macroID); });
    m_more->setMenu(moreMenu);
    // Insert: after the selection, or at the end.
    m_insert = new QToolButton;
    m_insert->setObjectName(QStringLiteral("insertAction"));
    m_insert->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_insert->setPopupMode(QToolButton::InstantPopup);
    m_insert->setAutoRaise(true);
    m_insert->setMenu(new QMenu(m_insert));

    // Its own hotkey, which plays it (or stops a playback) from anywhere.
    m_hotkeyTitle = new QLabel;
    m_hotkeyTitle->setStyleSheet(QStringLiteral("color: gray"));
    m_hotkey = new ChordButton;
    m_hotkey->setObjectName(QStringLiteral("macroHotkey"));
    m_hotkey->setFlat(true);
    m_hotkey->onListening = [this](bool on) { m_model.hotkeys().setSuspended(on); };
    connect(m_hotkey, &ChordButton::chordChosen, this, [this](const HotkeyChord& chord) { setHotkey(chord); });
    m_removeHotkey = new QToolButton;
    m_removeHotkey->setText(QStringLiteral("\u2715"));
    m_removeHotkey->setAutoRaise(true);
    connect(m_removeHotkey, &QToolButton::clicked, this, [this] { setHotkey(std::nullopt); });
    m_hotkeyProblem = new QLabel;
    m_hotkeyProblem->setWordWrap(true);
    m_hotkeyProblem->setStyleSheet(QStringLiteral("color: #d70015"));
    m_hotkeyProblem->hide();
    auto* hotkeyRow = new QHBoxLayout;
    hotkeyRow->addWidget(m_hotkeyTitle);
    hotkeyRow->addWidget(m_hotkey);
    hotkeyRow->addWidget(m_removeHotkey);
    hotkeyRow->addStretch();
    auto* names = new QVBoxLayout;
    names->addWidget(m_name);
    names->addWidget(m_summary);
    names->addWidget(m_recordedWith);
    names->addLayout(hotkeyRow);
    names->addWidget(m_hotkeyProblem);
    auto* header = new QHBoxLayout;
    header->addLayout(names);
    header->addStretch();
    header->addWidget(m_deleteSelected);
    header->addWidget(m_insert);
    header->addWidget(m_more);

    m_noActions = new QLabel(QStringLiteral("<img src=':/icons/tray.svg' width='40' height='40'>"
                                            "<div style='color:gray'>No actions recorded</div>"));
    m_noActions->setAlignment(Qt::AlignCenter);
    auto* list = new ActionListView;
    list->onMove = [this](const std::set<int>& rows, int destination) {
        m_list->clearSelection();
        m_model.library().moveActions(m_macroID, rows, destination);
    };
    m_list = list;
    m_list->setObjectName(QStringLiteral("actionList"));
    m_list->setModel(m_actions);
    m_list->setItemDelegate(new ActionRowDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &MacroDetailView::showContextMenu);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &MacroDetailView::refresh);
    connect(m_list, &QListView::doubleClicked, this, [this](const QModelIndex& index) { editRow(index.row()); });
    auto shortcut = [this](const QKeySequence& keys, void (MacroDetailView::*run)()) {
        auto* s = new QShortcut(keys, m_list, nullptr, nullptr, Qt::WidgetShortcut);
        connect(s, &QShortcut::activated, this, run);
    };
    shortcut(QKeySequence::Copy, &MacroDetailView::copySelected);
    shortcut(QKeySequence::Paste, &MacroDetailView::paste);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_D), &MacroDetailView::duplicateSelected);
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* edit = new QShortcut(QKeySequence(key), m_list, nullptr, nullptr, Qt::WidgetShortcut);
        connect(edit, &QShortcut::activated, this, [this] {
            if (m_list->currentIndex().isValid())
                editRow(m_list->currentIndex().row());
        });
    }
    m_stack = new QStackedWidget;
    m_stack->addWidget(m_noActions);
    m_stack->addWidget(m_list);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(m_stack, 1);
    if (const Macro* macro = m_model.selectedMacro()) {
        m_playback = new PlaybackControlView(m_model, *macro);
        layout->addWidget(m_playback);
    }
    connect(&m_model, &AppViewModel::macrosChanged, this, &MacroDetailView::refresh);
    connect(&m_model.hotkeyChords(), &HotkeyViewModel::changed, this, &MacroDetailView::refresh);
    connect(&m_model, &AppViewModel::appLanguageChanged, this, &MacroDetailView::refresh);
    refresh();
}

void MacroDetailView::setHotkey(std::optional<HotkeyChord> chord)
{
    const Macro* macro = std::as_const(m_model).macroWithId(m_macroID);
    if (!macro)
        return;
    const QString refused = m_model.hotkeyChords().setMacroChord(*macro, chord);
    refresh();
    m_hotkeyProblem->setText(refused);
    m_hotkeyProblem->setVisible(!refused.isEmpty());
}

std::set<int> MacroDetailView::selection() const
{
    std::set<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    return rows;
}

void MacroDetailView::refresh()
{
    const Macro* macro = std::as_const(m_model).macroWithId(m_macroID);
    if (!macro)
        return;
    if (!(m_actions->macro() == *macro)) {
        const auto keep = selection();
        m_actions->setMacro(*macro);
        for (const int row : keep)
            if (row < m_actions->rowCount())
                m_list->selectionModel()->select(m_actions->index(row), QItemSelectionModel::Select);
    }
    m_name->setText(NameText::oneLine(macro->metadata.name));
    const HotkeyViewModel& chords = m_model.hotkeyChords();
    const auto hotkeyId = chords.idForMacro(m_macroID);
    const QString chord = hotkeyId ? chords.text(*hotkeyId) : QString();
    m_hotkeyTitle->setText(m_model.t(QStringLiteral("detail.hotkey")) + QLatin1Char(':'));
    m_hotkey->setChordText(chord.isEmpty() ? m_model.t(QStringLiteral("detail.hotkey.none")) : chord);
    m_hotkey->setListeningText(m_model.t(QStringLiteral("settings.hotkeys.press")));
    m_removeHotkey->setVisible(!chord.isEmpty());
    m_removeHotkey->setToolTip(m_model.t(QStringLiteral("detail.hotkey.remove")));
    m_summary->setText((macro->actions.size() == 1 ? QStringLiteral("%1 action \u00b7 %2")
                                                   : QStringLiteral("%1 actions \u00b7 %2"))
                           .arg(macro->actions.size())
                           .arg(DurationFormat::detail(macro->totalDuration())));
    // How it was recorded, when the file says (older recordings and imports do not).
    m_recordedWith->setVisible(macro->metadata.recording.has_value());
    if (macro->metadata.recording)
        m_recordedWith->setText(m_model.t(QStringLiteral("detail.recorded"))
                                    .arg(m_model.recordingFlow().recordingOptionsText(*macro->metadata.recording)));
    m_stack->setCurrentWidget(macro->actions.empty() ? static_cast<QWidget*>(m_noActions) : m_list);
    m_insert->setText(m_model.t(QStringLiteral("insert.menu")));
    QMenu* inserts = m_insert->menu();
    inserts->clear();
    for (const auto& [key, what] : std::initializer_list<std::pair<const char*, Insert>>{
             {"insert.text", Insert::text}, {"insert.key", Insert::key}, {"insert.click", Insert::click},
             {"insert.app", Insert::application}, {"insert.delay", Insert::delay}, {nullptr, Insert::delay},
             {"insert.waitImage", Insert::waitImage}, {"insert.waitColor", Insert::waitColor},
             {"insert.waitWindow", Insert::waitWindow}, {"insert.waitSettle", Insert::waitSettle}}) {
        if (!key) {
            inserts->addSeparator();
            continue;
        }
        QAction* entry = inserts->addAction(m_model.t(QString::fromLatin1(key)), this, [this, what = what] { insert(what); });
        // Pictures and colours are taken from the screen: not where it cannot be read.
        entry->setEnabled(m_model.readsScreen() || (what != Insert::waitImage && what != Insert::waitColor));
    }
    const auto selected = selection();
    m_deleteSelected->setVisible(!selected.empty());
    m_deleteSelected->setText(QStringLiteral("Delete %1").arg(selected.size()));
}

void MacroDetailView::deleteSelected()
{
    const auto rows = selection();
    if (rows.empty())
        return;
    m_list->clearSelection();
    m_model.library().deleteActions(m_macroID, rows);
}

void MacroDetailView::deleteRowKeepingSelection(int row)
{
    // The rest of the selection stays on the same actions, which move up by one.
    std::set<int> kept;
    for (const int selected : selection())
        if (selected != row)
            kept.insert(selected > row ? selected - 1 : selected);
    m_list->clearSelection();
    m_model.library().deleteActions(m_macroID, {row});
    for (const int r : kept)
        m_list->selectionModel()->select(m_actions->index(r), QItemSelectionModel::Select);
}

void MacroDetailView::insertDelayAfter(int row)
{
    InsertDelaySheet sheet(m_delayDuration, this);
    if (sheet.exec() != QDialog::Accepted)
        return;
    m_delayDuration = sheet.duration();
    m_model.library().insertDelay(m_macroID, row, m_delayDuration);
}

QStringList MacroDetailView::contextMenuTitles(int row) const
{
    const auto rows = selection();
    const QString paste = m_model.t(QStringLiteral("actions.paste"));
    if (rows.count(row) && rows.size() >= 2)
        return {m_model.t(QStringLiteral("actions.gaps")), m_model.t(QStringLiteral("actions.duplicate")),
                m_model.t(QStringLiteral("actions.copy")), paste, QStringLiteral("Delete %1 Selected").arg(rows.size())};
    return {m_model.t(QStringLiteral("actions.edit")), QStringLiteral("Insert Delay After..."),
            m_model.t(QStringLiteral("actions.duplicate")), m_model.t(QStringLiteral("actions.copy")), paste,
            QStringLiteral("Delete")};
}

void MacroDetailView::showContextMenu(const QPoint& at)
{
    const QModelIndex index = m_list->indexAt(at);
    if (!index.isValid())
        return;
    const int row = index.row();
    const QStringList titles = contextMenuTitles(row);
    const bool several = selection().count(row) && selection().size() >= 2;
    QMenu menu(this);
    if (several) {
        menu.addAction(titles[0], this, &MacroDetailView::changeSelectedGaps);
        menu.addAction(titles[1], this, &MacroDetailView::duplicateSelected);
        menu.addAction(titles[2], this, &MacroDetailView::copySelected);
        menu.addAction(titles[3], this, &MacroDetailView::paste);
        menu.addSeparator();
        menu.addAction(titles[4], this, &MacroDetailView::deleteSelected);
    } else {
        // One row: it becomes the selection the other entries act on.
        auto only = [this, row] {
            m_list->clearSelection();
            m_list->selectionModel()->select(m_actions->index(row), QItemSelectionModel::Select);
        };
        menu.addAction(titles[0], this, [this, row] { editRow(row); });
        menu.addAction(titles[1], this, [this, row] { insertDelayAfter(row); });
        menu.addAction(titles[2], this, [this, only] { only(); duplicateSelected(); });
        menu.addAction(titles[3], this, [this, only] { only(); copySelected(); });
        menu.addAction(titles[4], this, [this, only] { only(); paste(); });
        menu.addSeparator();
        menu.addAction(titles[5], this, [this, row] { deleteRowKeepingSelection(row); });
    }
    menu.exec(m_list->viewport()->mapToGlobal(at));
}

int MacroDetailView::insertionRow() const
{
    const auto rows = selection();
    return rows.empty() ? m_actions->rowCount() - 1 : *rows.rbegin();
}

void MacroDetailView::editRow(int row)
{
    const Macro* macro = std::as_const(m_model).macroWithId(m_macroID);
    if (!macro || row < 0 || row >= int(macro->actions.size()))
        return;
    const std::vector<double> gaps = ActionRetiming::gaps(macro->actions);
    if (const auto* wait = std::get_if<MacroAction::Wait>(&macro->actions[std::size_t(row)].payload)) {
        WaitStepDialog editor(m_model, wait->get(), gaps[std::size_t(row)], row > 0, WaitStepDialog::Purpose::edit, this);
        if (editor.exec() == QDialog::Accepted)
            m_model.library().replaceAction(m_macroID, row, MacroAction::wait(0, editor.wait()), editor.gap());
        return;
    }
    ActionEditorDialog editor(m_model, macro->actions[std::size_t(row)], gaps[std::size_t(row)], row > 0,
                              ActionEditorDialog::Purpose::edit, this);
    if (editor.exec() != QDialog::Accepted)
        return;
    m_model.library().replaceAction(m_macroID, row, editor.action(), editor.gap());
}

void MacroDetailView::insert(Insert what)
{
    const int after = insertionRow();
    if (what == Insert::delay)
        return insertDelayAfter(after);
    if (what == Insert::waitImage || what == Insert::waitColor || what == Insert::waitWindow ||
        what == Insert::waitSettle)
        return insertWait(after, what == Insert::waitImage   ? ScreenWait::Kind::image
                                 : what == Insert::waitColor ? ScreenWait::Kind::color
                                 : what == Insert::waitWindow ? ScreenWait::Kind::window
                                                               : ScreenWait::Kind::settle);
    if (what == Insert::text) {
        TypeTextDialog dialog(m_model, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        const auto& keys = dialog.actions();
        m_model.library().insertActions(m_macroID, after, keys, dialog.intervalMs() / 1000.0,
                              QStringLiteral("Inserted %1 typed key(s) into").arg(keys.size() / 2));
        selectRows(after + 1, int(keys.size()));
        return;
    }
    // A key or a click is a press and its release, 20 ms apart; a switch is one action.
    MacroAction made;
    if (what == Insert::key)
        made = MacroAction::keyDown(0, 0, 0);
    else if (what == Insert::click)
        made = MacroAction::mouseDown(0, 0, 0, MouseButton::left);
    else
        made = MacroAction::windowFocus(0, QString(), QString());
    ActionEditorDialog editor(m_model, made, 0.1, after >= 0, ActionEditorDialog::Purpose::insert, this);
    if (editor.exec() != QDialog::Accepted)
        return;
    const MacroAction press = editor.action();
    std::vector<MacroAction> inserted{press};
    QString description = QStringLiteral("Inserted a switch to an application into");
    if (const auto* key = std::get_if<MacroAction::KeyDown>(&press.payload)) {
        inserted.push_back(MacroAction::keyUp(0.02, key->keyCode, key->flags));
        description = QStringLiteral("Inserted a key into");
    } else if (const auto* down = std::get_if<MacroAction::MouseDown>(&press.payload)) {
        inserted.push_back(MacroAction::mouseUp(0.02, down->x, down->y, down->button, down->flags));
        description = QStringLiteral("Inserted a click into");
    }
    m_model.library().insertActions(m_macroID, after, inserted, editor.gap(), description);
    selectRows(after + 1, int(inserted.size()));
}

void MacroDetailView::insertWait(int after, ScreenWait::Kind kind)
{
    ScreenWait made;
    made.kind = kind;
    WaitStepDialog editor(m_model, made, 0.1, after >= 0, WaitStepDialog::Purpose::insert, this);
    if (editor.exec() != QDialog::Accepted)
        return;
    m_model.library().insertActions(m_macroID, after, {MacroAction::wait(0, editor.wait())}, editor.gap(),
                                    QStringLiteral("Inserted a wait into"));
    selectRows(after + 1, 1);
}

void MacroDetailView::selectRows(int first, int count)
{
    // What was just added becomes the selection, so the next insertion follows it.
    m_list->clearSelection();
    for (int row = first; row < first + count && row < m_actions->rowCount(); ++row)
        m_list->selectionModel()->select(m_actions->index(row), QItemSelectionModel::Select);
    if (count > 0 && first < m_actions->rowCount())
        m_list->scrollTo(m_actions->index(first));
}

void MacroDetailView::duplicateSelected()
{
    const auto rows = selection();
    if (rows.empty())
        return;
    m_list->clearSelection();
    m_model.library().duplicateActions(m_macroID, rows);
}

void MacroDetailView::copySelected()
{
    const auto rows = selection();
    if (rows.empty())
        return;
    const QByteArray json = m_model.library().actionsAsJson(m_macroID, rows);
    if (!json.isEmpty())
        QApplication::clipboard()->setText(QString::fromUtf8(json));
}

void MacroDetailView::paste()
{
    const QString text = QApplication::clipboard()->text();
    const int after = insertionRow();
    const int before = m_actions->rowCount();
    m_pasteProblem = m_model.library().pasteActions(m_macroID, after, text.toUtf8());
    if (!m_pasteProblem.isEmpty())
        m_model.showMessage(m_pasteProblem);
    else
        selectRows(after + 1, m_actions->rowCount() - before);
}

void MacroDetailView::changeSelectedGaps()
{
    const auto rows = selection();
    if (rows.empty())
        return;
    GapsDialog dialog(m_model, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (dialog.scales())
        m_model.library().scaleActionGaps(m_macroID, rows, dialog.factor());
    else
        m_model.library().setActionGaps(m_macroID, rows, dialog.gapSeconds());
}

void MacroDetailView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
        deleteSelected();
        return;
    }
    QWidget::keyPressEvent(event);
}
