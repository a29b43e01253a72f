// Entry of widget tests: a QApplication for the whole run, then every test.
#include <QApplication>
#include <QLocale>

#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    // Tests that care about number formats set their own locale.
    QLocale::setDefault(QLocale::c());
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
