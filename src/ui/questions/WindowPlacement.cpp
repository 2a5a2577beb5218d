#include "WindowPlacement.h"

#include <algorithm>

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

QRect availableFor(const QWidget* widget) {
    const QScreen* screen = widget ? widget->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// The widest text the field is widened for: a third of its screen.
int widestText(const QLineEdit* field) {
    const QRect area = availableFor(field);
    return area.isEmpty() ? 600 : area.width() / 3;
}

void widenFor(QLineEdit* field, const QString& sample) {
    const QFontMetrics metrics = field->fontMetrics();
    const int text = std::min(
        std::max(metrics.horizontalAdvance(sample), metrics.horizontalAdvance(field->text())),
        widestText(field));
    QStyleOptionFrame option;
    option.initFrom(field);
    const QMargins margins = field->textMargins();
    // The frame, the text margins and a character's room for the cursor.
    const QSize contents(text + margins.left() + margins.right() + metrics.averageCharWidth(),
                         metrics.height());
    const int width =
        field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, field).width();
    if (field->minimumWidth() != width)
        field->setMinimumWidth(width);
}

} // namespace

namespace WindowPlacement {

void centreOn(QWidget* window, const QWidget* anchor) {
    const QWidget* owner = anchor ? anchor->window() : nullptr;
    QRect frame(QPoint(), window->frameGeometry().size());
    if (owner && owner->isVisible() && !owner->isMinimized())
        frame.moveCenter(owner->frameGeometry().center());
    else
        frame.moveCenter(availableFor(owner ? owner : window).center());
    window->move(frame.topLeft());
    keepOnScreen(window);
}

void keepOnScreen(QWidget* window) {
    const QRect area = availableFor(window);
    if (area.isEmpty())
        return;
    QRect frame = window->frameGeometry();
    // The window's title bar stays reachable: its top left corner is never off the screen.
    frame.moveRight(std::min(frame.right(), area.right()));
    frame.moveBottom(std::min(frame.bottom(), area.bottom()));
    frame.moveLeft(std::max(frame.left(), area.left()));
    frame.moveTop(std::max(frame.top(), area.top()));
    if (frame.topLeft() != window->frameGeometry().topLeft())
        window->move(frame.topLeft());
}

void fitTextField(QLineEdit* field, const QString& sample) {
    widenFor(field, sample);
    QObject::connect(field, &QLineEdit::textChanged, field,
                     [field, sample] { widenFor(field, sample); });
}

} // namespace WindowPlacement
