#include "varkelapp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    CVarkelApp::AnswerInfoOptions(argc, argv);
    QApplication app(argc, argv);
    CVarkelApp varkel;
    if (!varkel.InitInstance(QApplication::arguments()))
        return varkel.ExitCode();
    return QApplication::exec();
}
