#include "toolkit/QtDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "toolkit/Text.h"

namespace {

struct ButtonMap {
    TMsgDlgBtn button;
    QMessageBox::StandardButton qt;
};
constexpr ButtonMap kButtons[] = {
    {mbYes, QMessageBox::Yes},     {mbNo, QMessageBox::No},       {mbOK, QMessageBox::Ok},
    {mbCancel, QMessageBox::Cancel}, {mbAbort, QMessageBox::Abort}, {mbRetry, QMessageBox::Retry},
    {mbIgnore, QMessageBox::Ignore},
};

QMessageBox::Icon IconOf(TMsgDlgType kind) {
    switch (kind) {
        case mtWarning: return QMessageBox::Warning;
        case mtError: return QMessageBox::Critical;
        case mtInformation: return QMessageBox::Information;
        case mtConfirmation: return QMessageBox::Question;
        case mtCustom: break;
    }
    return QMessageBox::NoIcon;
}

// "Text files|*.txt|All files|*.*" -> "Text files (*.txt)", "All files (*)".
QStringList NameFilters(const std::string& filter) {
    const QStringList parts = ToQString(filter).split('|');
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ').replace("*.*", "*");
        result << parts[i] + " (" + patterns + ")";
    }
    return result;
}

}  // namespace

TModalResult TQtDialogs::MessageBox(const TMessageBoxRequest& request) {
    QMessageBox box(IconOf(request.Kind), ToQString(request.Caption), ToQString(request.Text),
                    QMessageBox::NoButton, QApplication::activeWindow());
    for (const ButtonMap& b : kButtons) {
        if ((request.Buttons & b.button) == 0) continue;
        QPushButton* button = box.addButton(b.qt);
        if (const auto caption = request.Captions.find(b.button); caption != request.Captions.end())
            button->setText(ToQString(caption->second));
        if (request.DefaultButton == b.button) box.setDefaultButton(button);
    }
    if (box.buttons().isEmpty()) box.addButton(QMessageBox::Ok);
    if (!request.CheckBox.empty() && request.Checked != nullptr) {
        auto* check = new QCheckBox(ToQString(request.CheckBox), &box);
        check->setChecked(*request.Checked);
        box.setCheckBox(check);
    }
    box.exec();
    if (box.checkBox() != nullptr) *request.Checked = box.checkBox()->isChecked();
    const auto clicked = box.standardButton(box.clickedButton());
    for (const ButtonMap& b : kButtons)
        if (b.qt == clicked) return ModalResultOf(b.button);
    // Closed by Esc or the close box.
    return (request.Buttons & mbCancel) != 0 ? mrCancel : mrOk;
}

bool TQtDialogs::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(ToQString(caption));
    dialog.setLabelText(ToQString(prompt));
    dialog.setTextValue(ToQString(value));
    if (dialog.exec() != QDialog::Accepted) return false;
    value = FromQString(dialog.textValue());
    return true;
}

bool TQtDialogs::PasswordQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(ToQString(caption));
    dialog.setLabelText(ToQString(prompt));
    dialog.setTextEchoMode(QLineEdit::Password);
    if (dialog.exec() != QDialog::Accepted) return false;
    value = FromQString(dialog.textValue());
    return true;
}

bool TQtDialogs::OpenFiles(const TOpenFileRequest& request, std::vector<std::string>& files) {
    QFileDialog dialog(QApplication::activeWindow(), ToQString(request.Title), ToQString(request.InitialDir));
    dialog.setFileMode(request.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    const QStringList filters = NameFilters(request.Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = request.FilterIndex - 1;
        if (index >= 0 && index < filters.size()) dialog.selectNameFilter(filters[index]);
    }
    if (dialog.exec() != QDialog::Accepted) return false;
    files.clear();
    for (const QString& f : dialog.selectedFiles()) files.push_back(FromQString(f));
    return !files.empty();
}
