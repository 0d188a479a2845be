#include "qsolog.h"

#include "platformpaths.h"

#include <QDir>
#include <QFileInfo>
#include <limits>

namespace {
// Upper bound on names tried past taken ones, so a folder full of logs
// cannot keep the program searching.
constexpr int kMaxProbes = 100000;
} // namespace

QString CQsoLog::FileName(int index)
{
    return QStringLiteral("PSK31%1.txt").arg(index, 4, 10, QLatin1Char('0'));
}

QString CQsoLog::DefaultDirectory()
{
    return fw::DefaultUserFilesFolder();
}

QChar CQsoLog::Separator()
{
    return fw::PathSeparator();
}

bool CQsoLog::Open(const QString& directory, int index, int* usedIndex)
{
    Close();
    for (int probe = 0; probe < kMaxProbes; ++probe, index = NextIndex(index)) {
        m_path = directory + Separator() + FileName(index);
        m_file.setFileName(m_path);
        // Never replace an earlier QSO: only a name that is free is taken.
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            if (usedIndex)
                *usedIndex = index;
            return true;
        }
        if (!QFileInfo::exists(m_path))
            return false;
    }
    return false;
}

int CQsoLog::NextIndex(int index)
{
    // The largest index is followed by 0 rather than by an overflow.
    return index == std::numeric_limits<int>::max() ? 0 : index + 1;
}

bool CQsoLog::Write(const QByteArray& bytes)
{
    if (!m_file.isOpen())
        return false;
    return m_file.write(bytes) == bytes.size() && m_file.error() == QFileDevice::NoError;
}

void CQsoLog::Close()
{
    if (m_file.isOpen())
        m_file.close();
}
