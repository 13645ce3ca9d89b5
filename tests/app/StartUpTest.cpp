#include <string>

#include <QApplication>
#include <QIcon>

#include "GuiFixture.h"
#include "app/Project1.h"
#include "platform/ProgramPaths.h"
#include "sites/Ufirst.h"
#include "transfer/Unit1.h"

namespace {

class StartUpTest : public GuiTest {};

TEST_F(StartUpTest, BothWindowsAreCreatedBeforeTheLoopRuns) {
    StartUp();
    EXPECT_EQ(App->Title(), "Tarnwick FTP");
    // The icon built into the program, in more than one size.
    EXPECT_GT(QApplication::windowIcon().availableSizes().size(), 1);
    EXPECT_EQ(App->MainForm(), Frmfirst);
    ASSERT_NE(FrmFTP, nullptr);
    EXPECT_FALSE(FrmFTP->Visible());
    EXPECT_EQ(WindowsFolder, AppFolder());
    EXPECT_EQ(SiteFilePath, AppFolder() + "/TARN25.DAT");
    EXPECT_EQ(SettingsFilePath, AppFolder() + "/TarnFtp.ini");
    EXPECT_EQ(ListingFile, AppFolder() + "/ftptemp.txt");
    EXPECT_FALSE(FrmFTP->EdServer->Visible());
    EXPECT_FALSE(FrmFTP->Timer1->Enabled());
}

TEST_F(StartUpTest, ConnectShowsTheTransferWindowModallyWithTheSiteAndOkEndsTheProgram) {
    StartUp();
    Frmfirst->Show();
    for (int visit = 1; visit <= 2; ++visit) {
        Frmfirst->Edwebsite->SetText(" http://host.example.com ");
        Frmfirst->EdUser->SetText(" user" + std::to_string(visit));
        Frmfirst->Edpwd->SetText("pw ");
        bool seen = false;
        WhenModal([&] {
            seen = true;
            EXPECT_TRUE(FrmFTP->Modal());
            EXPECT_EQ(FrmFTP->EdServer->Text(), "http://host.example.com");
            EXPECT_EQ(FrmFTP->EdUserID->Text(), "user" + std::to_string(visit));
            EXPECT_EQ(FrmFTP->EdPassword->Text(), "pw");
            EXPECT_TRUE(FrmFTP->Timer1->Enabled());
            FrmFTP->Widget()->close();  // the close box
        });
        ClickOn(Frmfirst->CmdDownload);
        EXPECT_TRUE(seen);
        EXPECT_FALSE(FrmFTP->Visible());
        EXPECT_TRUE(Frmfirst->Visible());
    }
    EXPECT_FALSE(App->Terminated());
    ClickOn(Frmfirst->CmdExit);
    EXPECT_TRUE(App->Terminated());
    EXPECT_FALSE(Frmfirst->Visible());
}

}  // namespace
