// SPDX-License-Identifier: MIT
#include "platform/display/qt/QtViewItem.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "platform/interface/Font.h"
#include "platform/interface/InputMessage.h"

namespace orv::qt {

namespace {

// A status bar's bar is a thin strip at the bottom of its frame; its texts take the rest
// above it, in a font made small enough to fit there.
constexpr int kStatusBarHeight = 8;
// Progress runs in thousandths so that fractional values and maxima still move the bar.
constexpr double kBarScale = 1000.0;

QString ToQt(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QColor ToQt(rgb_color color) {
    return QColor(color.red, color.green, color.blue);
}

int Pixels(float coordinate) {
    return int(std::floor(coordinate));
}

// An inclusive platform rectangle as Qt's: one pixel wider and taller than right - left.
QRect ToQt(const BRect& frame) {
    const int left = Pixels(frame.left);
    const int top = Pixels(frame.top);
    return QRect(left, top, std::max(Pixels(frame.right) - left + 1, 0),
                 std::max(Pixels(frame.bottom) - top + 1, 0));
}

// The form's frames leave room for a narrow font: a text that would not fit its frame in
// the desktop's font is drawn a little smaller rather than cut.
QFont Fitted(QFont font, const QString& text, int width) {
    constexpr int kSmallest = 8;
    while (font.pixelSize() > kSmallest && QFontMetrics(font).horizontalAdvance(text) > width) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    return font;
}

// What a check box or radio button keeps beside its text for the indicator.
int IndicatorSpace(const QWidget* widget, QStyle::PixelMetric indicator) {
    const QStyle* style = widget->style();
    return style->pixelMetric(indicator, nullptr, widget) +
           style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, widget) + 2;
}

void Post(WindowId window, const BMessage& input) {
    // A window that is already gone takes no more input; nothing to tell the user.
    [[maybe_unused]] status_t status = PostInput(window, input);
}

// A check box, radio button or push button whose click goes to the window as input.
template <typename Button>
Button* NewClickable(QWidget* parent, WindowId window, ViewId id) {
    auto* button = new Button(parent);
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [window, id] { Post(window, MakeClick(id)); });
    return button;
}

// A radio button's check as the model has it, even "none on", which Qt's exclusive
// groups would otherwise refuse.
void SetRadioChecked(QRadioButton* button, bool checked) {
    if (button->isChecked() == checked) {
        return;
    }
    button->setAutoExclusive(false);
    button->setChecked(checked);
    button->setAutoExclusive(true);
}

}  // namespace

QFont FontFor(const ViewState& state) {
    QFont font = QApplication::font();
    if (!state.fontFamily.empty()) {
        font.setFamily(ToQt(state.fontFamily));
    }
    font.setBold((state.fontFace & B_BOLD_FACE) != 0);
    font.setItalic((state.fontFace & B_ITALIC_FACE) != 0);
    font.setUnderline((state.fontFace & B_UNDERSCORE_FACE) != 0);
    font.setStrikeOut((state.fontFace & B_STRIKEOUT_FACE) != 0);
    font.setPixelSize(std::max(1, int(std::lround(state.fontSize))));
    return font;
}

ViewItem::ViewItem(WindowId window, const ViewState& state, QWidget* parent)
    : fWindow(window), fState(state) {
    const ViewId id = fState.id;
    switch (fState.kind) {
        case ViewKind::View:
            fWidget = new QWidget(parent);
            fWidget->setAutoFillBackground(true);
            break;
        case ViewKind::StringView:
            fLabel = new QLabel(parent);
            fLabel->setTextFormat(Qt::PlainText);
            fWidget = fLabel;
            break;
        case ViewKind::Box:
            // A box one or two pixels high is drawn as what it looks like: a rule.
            if (ToQt(fState.frame).height() <= 3 && fState.label.empty()) {
                auto* rule = new QFrame(parent);
                rule->setFrameShape(QFrame::HLine);
                rule->setFrameShadow(QFrame::Sunken);
                fWidget = rule;
            } else {
                fWidget = new QGroupBox(parent);
            }
            break;
        case ViewKind::TextControl:
            fWidget = new QWidget(parent);
            fLabel = new QLabel(fWidget);
            fEdit = new QLineEdit(fWidget);
            // A file dropped on the field goes to the form, not into the text.
            fEdit->setAcceptDrops(false);
            QObject::connect(fEdit, &QLineEdit::textEdited, fEdit,
                             [window, id](const QString& text) {
                                 Post(window, MakeSetText(id, text.toStdString()));
                             });
            break;
        case ViewKind::CheckBox:
            fWidget = NewClickable<QCheckBox>(parent, window, id);
            break;
        case ViewKind::RadioButton:
            fWidget = NewClickable<QRadioButton>(parent, window, id);
            break;
        case ViewKind::Button:
            fWidget = NewClickable<QPushButton>(parent, window, id);
            break;
        case ViewKind::MenuField:
            fWidget = new QWidget(parent);
            fLabel = new QLabel(fWidget);
            fPopUp = new QPushButton(fWidget);
            fMenu = new QMenu(fPopUp);
            fPopUp->setMenu(fMenu);
            break;
        case ViewKind::StatusBar:
            fWidget = new QWidget(parent);
            fLabel = new QLabel(fWidget);
            fLabel->setTextFormat(Qt::PlainText);
            fTrailing = new QLabel(fWidget);
            fTrailing->setTextFormat(Qt::PlainText);
            fTrailing->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            fBar = new QProgressBar(fWidget);
            fBar->setTextVisible(false);
            break;
        case ViewKind::Slider:
            fWidget = new QWidget(parent);
            fLabel = new QLabel(fWidget);
            fTrailing = new QLabel(fWidget);
            fTrailing->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            fSlider = new QSlider(Qt::Horizontal, fWidget);
            // Captures the widgets, not this item: the item may go before its widgets do.
            QObject::connect(fSlider, &QSlider::valueChanged, fSlider,
                             [slider = fSlider, window, id](int value) {
                                 // While dragging, one message when the thumb is let go:
                                 // each value saved on the way would only be replaced.
                                 if (!slider->isSliderDown()) {
                                     Post(window, MakeSetValue(id, value));
                                 }
                             });
            QObject::connect(fSlider, &QSlider::sliderReleased, fSlider,
                             [slider = fSlider, window, id] {
                                 Post(window, MakeSetValue(id, slider->value()));
                             });
            QObject::connect(fSlider, &QSlider::sliderMoved, fTrailing,
                             [trailing = fTrailing](int value) { trailing->setNum(value); });
            break;
    }
    fWidget->setProperty(kViewIdProperty, QVariant::fromValue<qulonglong>(id));
    fWidget->setObjectName(ToQt(fState.name));
    Build();
    fWidget->setVisible(!fState.hidden);
}

void ViewItem::Apply(const ViewState& state) {
    fState = state;
    Build();
    fWidget->setVisible(!fState.hidden);
}

void ViewItem::Build() {
    ApplyGeometry();
    const QFont font = FontFor(fState);
    fWidget->setFont(font);
    fWidget->setEnabled(fState.enabled);
    const QString label = ToQt(fState.label);
    switch (fState.kind) {
        case ViewKind::View: {
            QPalette palette = fWidget->palette();
            palette.setColor(QPalette::Window, ToQt(fState.viewColor));
            fWidget->setPalette(palette);
            break;
        }
        case ViewKind::StringView: {
            fLabel->setText(ToQt(fState.text));
            fLabel->setFont(Fitted(font, fLabel->text(), fWidget->width()));
            QPalette palette = fLabel->palette();
            palette.setColor(QPalette::WindowText, ToQt(fState.highColor));
            fLabel->setPalette(palette);
            break;
        }
        case ViewKind::Box:
            if (auto* group = qobject_cast<QGroupBox*>(fWidget)) {
                group->setTitle(label);
                group->setFlat(fState.border == B_NO_BORDER);
            }
            break;
        case ViewKind::TextControl:
            fLabel->setText(label);
            // Not while the user types there: an echo of an earlier keystroke would throw
            // the later ones away and move the cursor.
            if (fEdit->text() != ToQt(fState.text) && !fEdit->hasFocus()) {
                const QSignalBlocker blocker(fEdit);
                fEdit->setText(ToQt(fState.text));
            }
            SplitAtDivider(fEdit);
            break;
        case ViewKind::CheckBox: {
            auto* box = static_cast<QCheckBox*>(fWidget);
            const QSignalBlocker blocker(box);
            ApplyIndicatorText(box, font, label, QStyle::PM_IndicatorWidth);
            box->setChecked(fState.value != 0);
            break;
        }
        case ViewKind::RadioButton: {
            auto* radio = static_cast<QRadioButton*>(fWidget);
            const QSignalBlocker blocker(radio);
            ApplyIndicatorText(radio, font, label, QStyle::PM_ExclusiveIndicatorWidth);
            SetRadioChecked(radio, fState.value != 0);
            break;
        }
        case ViewKind::Button:
            static_cast<QPushButton*>(fWidget)->setText(label);
            fWidget->setFont(Fitted(font, label, fWidget->width() - 6));
            break;
        case ViewKind::MenuField:
            fLabel->setText(label);
            SplitAtDivider(fPopUp);
            ApplyMenu();
            break;
        case ViewKind::StatusBar:
            ApplyStatusBar();
            break;
        case ViewKind::Slider:
            ApplySlider(font, label);
            break;
    }
}

void ViewItem::ApplyIndicatorText(QAbstractButton* button, const QFont& font, const QString& label,
                                  int indicatorMetric) {
    button->setText(label);
    const int indicator = IndicatorSpace(button, QStyle::PixelMetric(indicatorMetric));
    fFittedSize = Fitted(font, label, button->width() - indicator).pixelSize();
    ShareTextSize(fSharedSize);
}

// The label over the left three quarters, the value beside it, the slider below.
void ViewItem::ApplySlider(const QFont& font, const QString& label) {
    fLabel->setText(label);
    const QSignalBlocker blocker(fSlider);
    fSlider->setRange(fState.minimum, fState.maximum);
    if (!fSlider->isSliderDown()) {
        fSlider->setValue(fState.value);
        fTrailing->setNum(fState.value);
    }
    const int width = fWidget->width();
    const int textHeight = std::min(fWidget->height() / 2, QFontMetrics(font).height());
    fLabel->setGeometry(0, 0, width * 3 / 4, textHeight);
    fTrailing->setGeometry(width * 3 / 4, 0, width - width * 3 / 4, textHeight);
    fSlider->setGeometry(0, textHeight, width, fWidget->height() - textHeight);
}

void ViewItem::ShareTextSize(int pixels) {
    fSharedSize = pixels;
    if (fFittedSize <= 0) {
        return;
    }
    QFont font = fWidget->font();
    font.setPixelSize(pixels > 0 ? std::min(pixels, fFittedSize) : fFittedSize);
    fWidget->setFont(font);
}

void ViewItem::ApplyGeometry() {
    fWidget->setGeometry(ToQt(fState.frame));
}

void ViewItem::SplitAtDivider(QWidget* control) {
    const int width = fWidget->width();
    const int height = fWidget->height();
    int divider = Pixels(fState.divider);
    if (divider <= 0 && !fState.label.empty()) {
        // No divider set: the label takes what it needs.
        divider = fLabel->sizeHint().width();
    }
    divider = std::clamp(divider, 0, width);
    fLabel->setFont(Fitted(fWidget->font(), fLabel->text(), divider - 1));
    fLabel->setGeometry(0, 0, divider, height);
    fLabel->setVisible(divider > 0);
    control->setGeometry(divider, 0, width - divider, height);
}

void ViewItem::ApplyMenu() {
    const MenuState& menu = fState.menu;
    bool same = int(fActions.size()) == int(menu.items.size());
    for (size_t i = 0; same && i < fActions.size(); ++i) {
        same = fActions[i]->text() == ToQt(menu.items[i]);
    }
    if (!same) {
        fMenu->clear();
        fActions.clear();
        auto* group = new QActionGroup(fMenu);
        group->setExclusive(menu.radioMode);
        const WindowId window = fWindow;
        const ViewId id = fState.id;
        for (size_t i = 0; i < menu.items.size(); ++i) {
            // Text only: an item label with "&" must not become a keyboard accelerator.
            QString text = ToQt(menu.items[i]);
            QAction* action = fMenu->addAction(text.replace('&', "&&"));
            action->setCheckable(menu.radioMode);
            group->addAction(action);
            const int32 index = int32(i);
            QObject::connect(action, &QAction::triggered, fMenu,
                             [window, id, index] { Post(window, MakeChooseItem(id, index)); });
            fActions.push_back(action);
        }
    }
    for (size_t i = 0; i < fActions.size(); ++i) {
        const QSignalBlocker blocker(fActions[i]);
        fActions[i]->setEnabled(i >= menu.enabled.size() || menu.enabled[i]);
        fActions[i]->setChecked(menu.radioMode && int32(i) == menu.marked);
    }
    QString shown = ToQt(menu.shownLabel);
    fPopUp->setText(shown.replace('&', "&&"));
    // Room for the pop-up's arrow and margins.
    constexpr int kPopUpChrome = 26;
    fPopUp->setFont(Fitted(fWidget->font(), ToQt(menu.shownLabel), fPopUp->width() - kPopUpChrome));
}

void ViewItem::ApplyStatusBar() {
    const int width = fWidget->width();
    const int barHeight = std::min(kStatusBarHeight, fWidget->height());
    const int textHeight = fWidget->height() - barHeight;
    QFont small = fWidget->font();
    small.setPixelSize(std::max(1, std::min(small.pixelSize(), textHeight - 1)));
    fLabel->setFont(small);
    fTrailing->setFont(small);

    const auto joined = [](const std::string& first, const std::string& second) {
        if (first.empty() || second.empty()) {
            return ToQt(first + second);
        }
        return ToQt(first + " " + second);
    };
    fLabel->setText(joined(fState.label, fState.text));
    fTrailing->setText(joined(fState.trailingText, fState.trailingLabel));
    const int trailingWidth = std::min(width, fTrailing->sizeHint().width());
    fLabel->setGeometry(0, 0, width - trailingWidth, textHeight);
    fTrailing->setGeometry(width - trailingWidth, 0, trailingWidth, textHeight);
    fBar->setGeometry(0, textHeight, width, barHeight);

    // A maximum of 0 would turn Qt's bar into a busy indicator; an empty list is an
    // empty bar.
    const double maximum = std::max(0.0, double(fState.maxValue));
    const double value = std::clamp(double(fState.currentValue), 0.0, maximum);
    if (maximum <= 0) {
        fBar->setRange(0, 1);
        fBar->setValue(0);
    } else {
        fBar->setRange(0, int(std::lround(maximum * kBarScale)));
        fBar->setValue(int(std::lround(value * kBarScale)));
    }
}

}  // namespace orv::qt
