#pragma once
// A private settings store and home folder for one test process. Call
// IsolateTestEnvironment() at the very start of main, before any QSettings
// is made, so no test ever reads or writes the developer's own settings.

#include <QString>

// Points XDG_CONFIG_HOME and HOME at fresh temporary folders, removed at exit.
void IsolateTestEnvironment();

// Removes every stored setting of `application` (organisation "Tollund").
void ClearSettings(const QString& application);

// Path of the settings file of `application` in the isolated store.
QString SettingsFilePath(const QString& application);

// A QTEST_MAIN variant that isolates the environment first.
#define VARKEL_TEST_MAIN(TestClass, AppClass)                                                    \
    int main(int argc, char** argv)                                                          \
    {                                                                                        \
        IsolateTestEnvironment();                                                            \
        AppClass app(argc, argv);                                                            \
                                                     \
        TestClass tc;                                                                        \
        QTEST_SET_MAIN_SOURCE_PATH                                                           \
        return QTest::qExec(&tc, argc, argv);                                                \
    }
