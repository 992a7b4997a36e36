#include "outputbox/widget/outputbox.h"

#include "outputbox/widget/editmenu.h"
#include "outputbox/widget/holdview.h"
#include "outputbox/view/accessibleevents.h"
#include "outputbox/view/boxclipboard.h"
#include "outputbox/view/editkeys.h"
#include "outputbox/view/viewlines.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <tuple>
#include <utility>

OutputBox::OutputBox(QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_lines(m_document.buffer())
{
    connect(&m_document, &OutputDocument::textReset, this, &OutputBox::textReset);
    connect(&m_document, &OutputDocument::textReplaced, this, &OutputBox::textReplaced);
    connect(&m_document, &OutputDocument::caretMoved, this, &OutputBox::caretMoved);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setCursor(Qt::IBeamCursor);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_KeyCompression);
    setAttribute(Qt::WA_InputMethodEnabled);
    setInputMethodHints(Qt::ImhMultiLine);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(1);
    setFontOfLayouts();
    adjustScrollbars();
}

OutputBox::~OutputBox() = default;

// ---------------------------------------------------------------------------
// Following the document

void OutputBox::textReset(int oldCursor, int oldAnchor)
{
    m_lines.clear();
    m_preedit.clear();
    m_clickUnits.forget();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    adjustScrollbars();
    viewport()->update();
    AccessibleEvents::textReset(this);
    emit textChanged();
    if (oldCursor != oldAnchor)
        emit selectionChanged();
    if (oldCursor != 0)
        emit cursorPositionChanged();
    updateMicroFocus();
}

void OutputBox::textReplaced(const OutputDocument::Change &change)
{
    const int removed = change.removedLength();
    m_lines.layouts().linesReplaced(change.firstLine, change.removedLines, change.addedLines, change.position, removed,
                                    change.inserted);
    m_clickUnits.follow(change);
    m_preedit.follow(change);
    AccessibleEvents::textReplaced(this, m_document, change);
    adjustScrollbars();
    viewport()->update();
    emit textChanged();
}

void OutputBox::appendAnswer(QStringView text)
{
    QScrollBar *vertical = verticalScrollBar();
    const bool atEnd = vertical->value() == vertical->maximum();
    m_document.append(text);
    if (atEnd)
        vertical->setValue(vertical->maximum());
}

void OutputBox::caretMoved(int oldCursor, int oldAnchor)
{
    const int cursor = m_document.cursorPosition();
    m_pageYValid = false;
    restartBlinking();
    const bool hadSelection = oldCursor != oldAnchor;
    const bool selectionMoved = (hadSelection || m_document.hasSelection())
            && (std::min(oldCursor, oldAnchor) != m_document.selectionStart()
                || std::max(oldCursor, oldAnchor) != m_document.selectionEnd());
    if (selectionMoved || hadSelection != m_document.hasSelection())
        viewport()->update();
    else
        updateLineOf(oldCursor); // the caret leaves it; restartBlinking() showed the new one
    AccessibleEvents::caretMoved(this, m_document, oldCursor,
                                 selectionMoved ? AccessibleEvents::Selection::Moved
                                                : AccessibleEvents::Selection::Same);
    if (oldCursor != cursor)
        emit cursorPositionChanged();
    if (selectionMoved)
        emit selectionChanged();
    updateMicroFocus();
    if (m_viewHeld == 0)
        ensureCursorVisible();
}

// ---------------------------------------------------------------------------
// Keys

bool OutputBox::event(QEvent *event)
{
    // Keys the box handles itself are not taken by a window shortcut.
    if (event->type() == QEvent::ShortcutOverride && EditKeys::isOwnShortcut(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    // From the keyboard the menu opens at the caret.
    if (event->type() == QEvent::ContextMenu
        && static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
        ensureCursorVisible();
        const QPoint at = cursorRect().center();
        QContextMenuEvent atCaret(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at));
        contextMenuEvent(&atCaret);
        event->accept();
        return true;
    }
    return QAbstractScrollArea::event(event);
}

void OutputBox::keyPressEvent(QKeyEvent *event)
{
    using Request = EditKeys::Request;
    const EditKeys::Result key = EditKeys::press(m_document, event);
    if (key.request == Request::LineUp || key.request == Request::LineDown)
        moveVertically(key.request == Request::LineDown ? 1 : -1, key.mode);
    else if (key.request == Request::PageUp || key.request == Request::PageDown)
        page(key.request == Request::PageDown ? ViewLines::PageDirection::Down : ViewLines::PageDirection::Up,
             key.mode);
    else if (key.request == Request::SelectAll)
        selectAll();
    event->setAccepted(key.request != Request::None);
}

qreal OutputBox::preferredX()
{
    if (m_document.preferredX() < 0)
        m_document.setPreferredX(m_lines.textX(m_document.cursorPosition()));
    return m_document.preferredX();
}

void OutputBox::moveVertically(int lines, MoveMode mode)
{
    const int target = m_document.lineOfPosition(m_document.cursorPosition()) + lines;
    if (target < 0 || target >= m_document.lineCount()) {
        // Past the first or last line the caret stays; with Shift the selection
        // runs to the start or end of the text.
        if (mode == MoveMode::KeepAnchor)
            m_document.moveCursor(target < 0 ? 0 : m_document.length(), mode);
        else
            ensureCursorVisible(); // a view scrolled away from the caret comes back to it
        return;
    }
    m_document.moveCursor(m_lines.positionOnLine(target, preferredX()), mode);
}

void OutputBox::page(ViewLines::PageDirection direction, MoveMode mode)
{
    // The caret keeps the height on screen it had at the first of a run of page keys.
    const int line = m_document.lineOfPosition(m_document.cursorPosition());
    if (!m_pageYValid) {
        ensureCursorVisible();
        m_pageY = m_lines.lineTop(line);
    }
    QScrollBar *vertical = verticalScrollBar();
    const ViewLines::Page page = m_lines.page(direction, line, m_pageY, viewport()->height(), vertical->maximum());
    vertical->setValue(page.top);
    const int target = page.line;
    if (target == line) {
        // On the first or last line the caret has nowhere to go: it stays, and
        // so does the selection.
        ensureCursorVisible();
    } else {
        m_document.moveCursor(m_lines.positionOnLine(target, preferredX()), mode);
    }
    m_pageYValid = true;
}

// ---------------------------------------------------------------------------
// Input methods

void OutputBox::inputMethodEvent(QInputMethodEvent *event)
{
    const bool commits = !event->commitString().isEmpty() || event->replacementLength() > 0;
    m_document.commitInput(event->commitString(), event->replacementStart(), event->replacementLength(),
                           event->preeditString().isEmpty() ? OutputDocument::Composing::Ended
                                                            : OutputDocument::Composing::GoesOn);

    const int line = m_document.lineOfPosition(m_document.cursorPosition());
    const int lineStart = m_document.lineStart(line);
    const QList<QInputMethodEvent::Attribute> selections
            = m_preedit.take(event, line, m_document.cursorPosition() - lineStart);
    for (const QInputMethodEvent::Attribute &selection : selections) {
        const int start = lineStart + selection.start;
        m_document.setSelection(start, start + selection.length);
    }
    viewport()->update();
    if (!m_preedit.isEmpty() || commits)
        ensureCursorVisible();
    updateMicroFocus();
    event->accept();
}

QVariant OutputBox::inputMethodQuery(Qt::InputMethodQuery query) const
{
    const QPoint toWidget = viewport()->pos();
    switch (query) {
    case Qt::ImEnabled:
        return isEnabled();
    case Qt::ImReadOnly:
        return false;
    case Qt::ImHints:
    case Qt::ImInputItemClipRectangle:
        return QWidget::inputMethodQuery(query);
    case Qt::ImFont:
        return font();
    case Qt::ImCursorRectangle: {
        // In the box's own coordinates, as Qt asks for them (QPlainTextEdit
        // answers in its viewport's, a frame's width off). While composing, the
        // composing caret's, measured without cutting to whole pixels.
        if (m_preedit.isEmpty())
            return cursorRect().translated(toWidget);
        const QRectF place = m_lines.characterRect(composedAt(), 1, horizontalScrollBar()->value());
        return place.translated(m_preedit.caretOffset(font()), 0).translated(toWidget);
    }
    case Qt::ImAnchorRectangle:
        return characterRect(m_document.anchorPosition(), 1).translated(toWidget);
    case Qt::ImMaximumTextLength:
        return QVariant();
    default: {
        const QVariant text = m_document.inputMethodQuery(query);
        return text.isValid() ? text : QAbstractScrollArea::inputMethodQuery(query);
    }
    }
}

// ---------------------------------------------------------------------------
// Mouse

int OutputBox::composedAt() const
{
    const int line = m_preedit.line();
    return m_document.lineStart(line)
            + std::min(m_preedit.column(), (m_document.lineEnd(line) - m_document.lineStart(line)));
}

bool OutputBox::endComposing(const QPoint &at)
{
    // As QPlainTextEdit: with the caret on the composed line, a press up to the
    // composed text's length past the caret, counted in the line as drawn
    // with that text in it, is the input method's; any other asks the input
    // method to commit, and what is still composed after that goes.
    const int composed = int(m_preedit.text().size());
    if (m_preedit.isEmpty() || m_document.lineOfPosition(m_document.cursorPosition()) != m_preedit.line())
        return false;
    const QRect place = characterRect(composedAt(), 1);
    int hit = at.y() > characterRect(m_document.length(), 1).bottom() ? -1 : positionAt(at); // nothing below the text
    if (at.y() >= place.top() && at.y() <= place.bottom()) {
        const qreal width = m_preedit.width(font());
        if (at.x() >= place.left() + width)
            hit = positionAt(at - QPoint(int(width), 0)) + composed;
        else if (at.x() >= place.left())
            hit = m_document.lineStart(m_preedit.line()) + m_preedit.column()
                    + m_preedit.characterAt(at.x() - place.left(), font());
    }
    if (hit - m_document.cursorPosition() >= 0 && hit - m_document.cursorPosition() <= composed)
        return true;
    QGuiApplication::inputMethod()->commit();
    if (!m_preedit.isEmpty()) {
        m_preedit.clear();
        viewport()->update();
    }
    return false;
}

void OutputBox::mousePressEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && endComposing(at)) {
        event->accept();
        return;
    }
    if (event->button() == Qt::MiddleButton) {
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (clipboard->supportsSelection()) {
            m_document.setCursorPosition(positionAt(at));
            BoxClipboard::paste(m_document, QClipboard::Selection);
        }
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const int position = positionAt(at);
    m_lastMouse = at;
    m_mayDrag = false;
    m_selecting = true;
    m_document.setPreferredX(-1);
    if (m_clickUnits.isTripleClick(at, QApplication::doubleClickInterval(), QApplication::startDragDistance())) {
        // Third click: the caret's line with its line break, which dragging
        // and Shift+clicking then extend by whole lines.
        m_document.selectLine(m_document.cursorPosition());
        m_clickUnits.setLine(m_document.selectionStart(), m_document.selectionEnd());
    } else if (event->modifiers() == Qt::ShiftModifier) {
        extendSelection(position, at.x() + horizontalScrollBar()->value());
        ensureCursorVisible();
    } else if (m_document.hasSelection() && position >= m_document.selectionStart()
               && position <= m_document.selectionEnd()) {
        // Dragging the selection moves (or with Ctrl copies) it; a click
        // without a drag puts the caret there on release.
        m_mayDrag = true;
        m_dragFrom = at;
    } else {
        m_clickUnits.forget();
        m_document.moveCursor(position, MoveMode::MoveAnchor);
    }
    event->accept();
}

void OutputBox::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    if (m_mayDrag) {
        // As in QPlainTextEdit, the press stays one that may drag after a drag
        // that came back (dropped nowhere): the release then puts the caret
        // where it is, without a selection.
        if ((event->position().toPoint() - m_dragFrom).manhattanLength() >= QApplication::startDragDistance())
            startDrag();
        event->accept();
        return;
    }
    m_lastMouse = event->position().toPoint();
    if (viewport()->rect().contains(m_lastMouse))
        m_autoScrollTimer.stop();
    else if (!m_autoScrollTimer.isActive())
        m_autoScrollTimer.start(100, this);
    // A drag leaves the view where it is; past an edge, autoScroll() moves it.
    HoldView hold(m_viewHeld);
    extendSelection(positionAt(m_lastMouse), m_lastMouse.x() + horizontalScrollBar()->value());
    event->accept();
}

void OutputBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_autoScrollTimer.isActive()) {
        m_autoScrollTimer.stop();
        ensureCursorVisible();
    }
    if (event->button() == Qt::LeftButton && m_mayDrag) {
        // Only the selection goes: dragging and Shift+clicking go on by the
        // unit of the last double or triple click.
        m_mayDrag = false;
        m_selecting = false;
        HoldView hold(m_viewHeld);
        m_document.moveCursor(positionAt(event->position().toPoint()), MoveMode::MoveAnchor);
    }
    if (event->button() == Qt::LeftButton && m_selecting) {
        m_selecting = false;
        BoxClipboard::shareSelection(m_document);
    }
    event->accept();
}

void OutputBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPoint at = event->position().toPoint();
    if (endComposing(at)) {
        event->accept();
        return;
    }
    const int position = positionAt(at);
    m_mayDrag = false;
    const std::pair<int, int> word = m_document.wordAt(position);
    m_clickUnits.setWord(word);
    {
        HoldView hold(m_viewHeld);
        m_document.setSelection(word.first, word.second);
    }
    m_clickUnits.setDoubleClick(at);
    event->accept();
}

void OutputBox::extendSelection(int position, qreal mouseX)
{
    if (m_clickUnits.isEmpty()) {
        if (m_selecting)
            m_document.moveCursor(position, MoveMode::KeepAnchor);
        return;
    }
    const auto xOf = [this](int at) { return ViewLines::kMargin + m_lines.textX(at); };
    const std::optional<ClickUnits::Selection> to = m_clickUnits.extend(m_document, position, mouseX, xOf);
    if (!to)
        return;
    const int held = to->shown ? std::exchange(m_viewHeld, 0) : m_viewHeld;
    m_document.setSelection(to->anchor, to->cursor);
    m_viewHeld = held;
}

void OutputBox::autoScroll()
{
    const std::optional<ViewLines::AutoScroll> scroll = ViewLines::autoScroll(viewport()->rect(), m_lastMouse);
    if (!scroll)
        return;
    m_autoScrollTimer.start(scroll->interval, this);
    const auto step = [](QScrollBar *bar, ViewLines::ScrollStep toward) {
        if (toward != ViewLines::ScrollStep::None)
            bar->triggerAction(toward == ViewLines::ScrollStep::Back ? QAbstractSlider::SliderSingleStepSub
                                                                     : QAbstractSlider::SliderSingleStepAdd);
    };
    step(verticalScrollBar(), scroll->vertical);
    step(horizontalScrollBar(), scroll->horizontal);
    // The scroll bars moved the view already; following the caret must not
    // move it back.
    HoldView hold(m_viewHeld);
    extendSelection(positionAt(m_lastMouse), m_lastMouse.x() + horizontalScrollBar()->value());
}

void OutputBox::timerEvent(QTimerEvent *event)
{
    if (m_blink.toggled(event))
        updateLineOf(m_document.cursorPosition());
    else if (event->timerId() == m_autoScrollTimer.timerId())
        autoScroll();
    else
        QAbstractScrollArea::timerEvent(event);
}

// ---------------------------------------------------------------------------
// Drag and drop

void OutputBox::selectAll()
{
    HoldView hold(m_viewHeld);
    m_document.selectAll();
}

void OutputBox::startDrag()
{
    auto *data = new QMimeData;
    data->setText(m_document.selectedText());
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    const int from = m_document.selectionStart();
    const int to = m_document.selectionEnd();
    const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    // Dropped into this box, the drop has moved the text already; dropped
    // elsewhere, moving means the text leaves here.
    if (action == Qt::MoveAction && drag->target() != this && drag->target() != viewport())
        m_document.replaceRange(from, to, {});
}

namespace {

// Text to drop, as QPlainTextEdit takes it: an empty text is no drop.
bool canTake(const QMimeData *data)
{
    return data->hasText() && !data->text().isEmpty();
}

} // namespace

void OutputBox::dragEnterEvent(QDragEnterEvent *event)
{
    if (!canTake(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_dropPosition = positionAt(event->position().toPoint());
    viewport()->update();
}

void OutputBox::dragMoveEvent(QDragMoveEvent *event)
{
    if (!canTake(event->mimeData())) {
        event->ignore();
        return;
    }
    const int position = positionAt(event->position().toPoint());
    event->setAccepted(!isOntoItself(event, position));
    if (event->isAccepted())
        event->acceptProposedAction();
    if (position != m_dropPosition) {
        m_dropPosition = position;
        viewport()->update();
    }
}

bool OutputBox::isOntoItself(const QDropEvent *event, int position) const
{
    // Text dropped onto itself goes nowhere.
    return event->source() == this && position >= m_document.selectionStart() && position <= m_document.selectionEnd();
}

void OutputBox::dragLeaveEvent(QDragLeaveEvent *event)
{
    m_dropPosition = -1;
    viewport()->update();
    event->accept();
}

void OutputBox::dropEvent(QDropEvent *event)
{
    m_dropPosition = -1;
    viewport()->update();
    if (!canTake(event->mimeData())) {
        event->ignore();
        return;
    }
    const int position = positionAt(event->position().toPoint());
    const bool fromHere = event->source() == this;
    if (isOntoItself(event, position)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_document.drop(position, event->mimeData()->text(),
                    fromHere && event->dropAction() == Qt::MoveAction ? OutputDocument::DropKind::MoveSelection
                                                                      : OutputDocument::DropKind::Copy);
}

// ---------------------------------------------------------------------------
// Context menu

QMenu *OutputBox::createStandardContextMenu()
{
    return EditMenu::make(this, &m_document, [this] { selectAll(); });
}

void OutputBox::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

// ---------------------------------------------------------------------------
// Focus, caret and blinking

void OutputBox::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlinking();
    viewport()->update();
}

void OutputBox::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_blink.stop();
    m_autoScrollTimer.stop();
    // The selection turns to the inactive colours.
    viewport()->update();
}

void OutputBox::restartBlinking()
{
    if (!hasFocus()) {
        m_blink.stop();
        return;
    }
    m_blink.restart(this);
    updateLineOf(m_document.cursorPosition());
}

void OutputBox::updateLineOf(int position)
{
    // The caret's line, whole: a cheap repaint that takes the caret's old
    // place on that line along.
    viewport()->update(m_lines.lineArea(position, viewport()->width()));
}

// ---------------------------------------------------------------------------
// Geometry and scrolling

void OutputBox::setFontOfLayouts()
{
    m_lines.setFont(font(), viewport());
}

void OutputBox::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange) {
        setFontOfLayouts();
        adjustScrollbars();
        viewport()->update();
    } else if (event->type() == QEvent::ActivationChange || event->type() == QEvent::PaletteChange
               || event->type() == QEvent::EnabledChange) {
        viewport()->update();
    }
}

void OutputBox::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    adjustScrollbars();
}

void OutputBox::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    adjustScrollbars();
}

void OutputBox::scrollContentsBy(int, int)
{
    m_lines.setTopLine(verticalScrollBar()->value());
    // Lines that come into view may be wider than any before: the range
    // follows before they are painted.
    m_lines.layOutView(viewport()->height());
    updateHorizontalRange();
    viewport()->update();
    updateMicroFocus();
}

qreal OutputBox::documentWidth() const
{
    return m_lines.layouts().widestSeen();
}

void OutputBox::adjustScrollbars()
{
    int maximum = std::max(0, m_document.lineCount() - 1);
    int page = 0;
    if (isVisible()) {
        std::tie(maximum, page) = m_lines.scrollRange(viewport()->height());
    } else {
        const int spacing = fontMetrics().lineSpacing();
        page = spacing != 0 ? viewport()->height() / spacing : 0;
    }
    QScrollBar *vertical = verticalScrollBar();
    const int top = m_lines.topLine();
    vertical->setRange(0, maximum);
    vertical->setPageStep(page);
    vertical->setValue(top);
    m_lines.setTopLine(vertical->value());
    // The lines in view are laid out here, not while painting, so a paint
    // never changes the scroll range: the horizontal range follows the widest
    // line laid out so far, as QPlainTextEdit's does.
    if (isVisible())
        m_lines.layOutView(viewport()->height());
    updateHorizontalRange();
}

void OutputBox::updateHorizontalRange()
{
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setRange(0, int(documentWidth()) - viewport()->width());
    horizontal->setPageStep(viewport()->width());
}

QRect OutputBox::characterRect(int position, int width) const
{
    return m_lines.characterRect(position, width, horizontalScrollBar()->value()).toRect();
}

int OutputBox::positionAt(const QPoint &viewportPoint) const
{
    return m_lines.positionAt(viewportPoint, horizontalScrollBar()->value());
}

void OutputBox::ensureVisible(int position)
{
    position = std::clamp(position, 0, m_document.length());
    const int top = m_lines.topShowing(m_document.lineOfPosition(position), viewport()->height());
    if (top != m_lines.topLine())
        verticalScrollBar()->setValue(top);

    updateHorizontalRange();
    horizontalScrollBar()->setValue(m_lines.leftShowing(position, horizontalScrollBar()->value(), viewport()->width()));
}

// ---------------------------------------------------------------------------
// Painting

void OutputBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    ViewLines::ViewPaint view;
    view.scrollX = horizontalScrollBar()->value();

    // Drawing stops at the right edge of the widest line, as QPlainTextEdit
    // keeps its right margin clear of full-width selections.
    view.area = event->rect();
    const int maxX = int(-view.scrollX + std::max<qreal>(viewport()->width(), documentWidth()) - ViewLines::kMargin
                         + ViewLines::kCursorWidth);
    view.area.setRight(std::min(view.area.right(), maxX));
    painter.setClipRect(view.area);
    painter.setPen(palette().text().color());

    // The selection's colours, active only while the box has the focus.
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    view.selectionFormat.setBackground(palette().brush(group, QPalette::Highlight));
    view.selectionFormat.setForeground(palette().brush(group, QPalette::HighlightedText));
    QStyleOption styleOption;
    styleOption.initFrom(this);
    if (style()->styleHint(QStyle::SH_RichText_FullWidthSelection, &styleOption, this))
        view.selectionFormat.setProperty(QTextFormat::FullWidthSelection, true);
    view.selectionStart = m_document.selectionStart();
    view.selectionEnd = m_document.selectionEnd();
    view.cursor = m_document.cursorPosition();
    view.caretShown = hasFocus() && m_blink.isOn() && isEnabled();
    view.preeditCaretShown = hasFocus() && m_blink.isOn();
    view.preedit = &m_preedit;
    view.base = palette().base();
    view.viewHeight = viewport()->height();
    m_lines.draw(&painter, view);

    if (m_dropPosition >= 0)
        painter.fillRect(characterRect(m_dropPosition, ViewLines::kCursorWidth), palette().text());
}
