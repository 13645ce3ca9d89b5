// The dialogs people see: QMessageBox, QInputDialog and QFileDialog, each run
// modally (a nested loop in which the platform loop keeps running).
#pragma once

#include "toolkit/Dialogs.h"

class TQtDialogs : public TDialogs {
public:
    TModalResult MessageBox(const TMessageBoxRequest& request) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
    bool PasswordQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
    bool OpenFiles(const TOpenFileRequest& request, std::vector<std::string>& files) override;
};
