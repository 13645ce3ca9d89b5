#include <QApplication>

#include "app/Project1.h"
#include "toolkit/Application.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    TApplication application;
    StartUp();
    Application->Run();
    return 0;
}
