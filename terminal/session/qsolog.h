#pragma once
// The QSO log file: a new numbered file per recording that never replaces an
// earlier one, written without user-space buffering so what was logged
// survives a crash of the program.

#include <QByteArray>
#include <QFile>
#include <QString>

class CQsoLog {
public:
    // "PSK31%04d.txt": at least four digits, more written in full.
    static QString FileName(int index);
    // The platform's default log directory and path separator.
    static QString DefaultDirectory();
    static QChar Separator();
    // The index after `index`: the largest one wraps to 0.
    static int NextIndex(int index);

    // Creates the first free file from `index` upwards in `directory`.
    // On success `usedIndex` holds the index taken.
    bool Open(const QString& directory, int index, int* usedIndex);
    // Writes all of `bytes` and hands them to the operating system.
    bool Write(const QByteArray& bytes);
    void Close();

    QString Path() const { return m_path; }
    QString ErrorString() const { return m_file.errorString(); }

private:
    QFile m_file;
    QString m_path;
};
