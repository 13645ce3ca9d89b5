#include "toolkit/Form.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QVariant>

#include "base/Exceptions.h"
#include "toolkit/Application.h"
#include "toolkit/Buttons.h"
#include "toolkit/Handler.h"
#include "toolkit/Text.h"

namespace {

class FormWidget : public QWidget {
public:
    explicit FormWidget(TForm* form) : QWidget(nullptr, Qt::Window), Form(form) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        // The close box (or the window manager) asks; the form decides and
        // hides itself when allowed.
        event->ignore();
        Form->HandleCloseBox();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!Form->HandleKey(event->key())) QWidget::keyPressEvent(event);
    }

private:
    TForm* Form;
};

}  // namespace

TForm::TForm(TComponent* AOwner) : TControl(AOwner, new FormWidget(this)) {
    Widget()->setProperty(kFormProperty, QVariant::fromValue(static_cast<void*>(this)));
    Widget()->hide();
    SetVisible(false);
    TFont font;
    font.Name = "MS Sans Serif";
    SetFont(font);
}

TForm::~TForm() {
    BeginDestroy();
    // Controls first, while the window's widget still holds theirs.
    while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
}

std::string TForm::Caption() const { return FromQString(Widget()->windowTitle()); }
void TForm::SetCaption(const std::string& caption) { Widget()->setWindowTitle(ToQString(caption)); }

void TForm::SetOuterSize(int width, int height) { Widget()->resize(width, height); }

void TForm::CenterOnScreen() {
    const QScreen* screen = QApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    Widget()->move(area.center() - QPoint(Widget()->width() / 2, Widget()->height() / 2));
}

void TForm::Show() {
    if (Position == poScreenCenter && !Widget()->isVisible()) CenterOnScreen();
    TControl::SetVisible(true);
    Widget()->raise();
    Widget()->activateWindow();
    FireEvent(OnShow, this);
}

void TForm::Hide() { TControl::SetVisible(false); }

void TForm::SetVisible(bool value) {
    if (value) Show();
    else Hide();
}

bool TForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) {
        bool completed = false;
        RunHandler([&] {
            OnCloseQuery(this, canClose);
            completed = true;
        });
        // A close query that failed half-way did not say yes.
        if (!completed) canClose = false;
    }
    return canClose;
}

void TForm::Close() {
    if (Modal()) {
        SetModalResult(mrCancel);
        return;
    }
    if (!CloseQuery()) return;
    Hide();
    FireEvent(OnClose, this);
    if (Application != nullptr && Application->MainForm() == this) Application->Terminate();
}

void TForm::SetModalResult(TModalResult result) {
    FModalResult = result;
    if (Modal() && result != mrNone) QTimer::singleShot(0, Widget(), [this] { CheckModalEnd(); });
}

void TForm::CheckModalEnd() {
    if (!Modal() || FModalEnding || FModalResult == mrNone) return;
    if (!CloseQuery()) {
        FModalResult = mrNone;
        return;
    }
    FModalEnding = true;
    FireEvent(OnClose, this);
    FModalLoop->quit();
}

TModalResult TForm::ShowModal() {
    if (Modal() || Widget()->isVisible()) throw Exception("Cannot make a visible window modal");
    FModalResult = mrNone;
    FModalEnding = false;
    Widget()->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    FModalLoop = &loop;
    if (Application != nullptr) Application->EnterModal(&loop);
    Show();
    if (Application == nullptr || !Application->Terminated()) loop.exec();
    if (Application != nullptr) Application->LeaveModal(&loop);
    FModalLoop = nullptr;
    Hide();
    Widget()->setWindowModality(Qt::NonModal);
    return FModalResult;
}

void TForm::SetTabOrder(std::initializer_list<TControl*> controls) {
    const TControl* previous = nullptr;
    for (TControl* control : controls) {
        if (previous != nullptr) QWidget::setTabOrder(previous->Widget(), control->Widget());
        previous = control;
    }
}

bool TForm::HandleKey(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (auto* focused = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
            focused != nullptr && focused->window() == Widget()) {
            focused->click();
            return true;
        }
        if (FDefaultButton != nullptr && FDefaultButton->Visible() && FDefaultButton->Enabled()) {
            FDefaultButton->PerformClick();
            return true;
        }
    } else if (key == Qt::Key_Escape) {
        if (FCancelButton != nullptr && FCancelButton->Visible() && FCancelButton->Enabled()) {
            FCancelButton->PerformClick();
            return true;
        }
        // A modal window without a cancel button closes on Esc like a
        // dialog, through Close() and so through the close query.
        if (Modal()) {
            Close();
            return true;
        }
    }
    return false;
}

void TForm::DoCreate() { FireEvent(OnCreate, this); }
