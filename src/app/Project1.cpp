#include "app/Project1.h"

#include "sites/Ufirst.h"
#include "toolkit/Application.h"
#include "transfer/Unit1.h"

void StartUp() {
    Application->SetTitle("Tarnwick FTP");
    Application->SetIcon("tarnwick-ftp");
    Application->CreateForm(Frmfirst);
    Application->CreateForm(FrmFTP);
    Frmfirst->OnHandOver = [](const std::string& User, const std::string& Host, const std::string& Password) {
        FrmFTP->HandOver(User, Host, Password);
    };
}
