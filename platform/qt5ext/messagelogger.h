#ifndef QT5EXT_MESSAGELOGGER_H
#define QT5EXT_MESSAGELOGGER_H

#include <QString>

namespace qt5ext {

// The process's Qt message handler: every message goes to stderr as
// "time level category file:line function: text" (journald keeps it), and
// also to a log file when one is opened. Debug messages are off unless the
// QT_LOGGING_RULES environment variable turns them on.
class MessageLogger
{
public:
    static void install();
    // Appends to the file from now on; false when it cannot be opened.
    static bool openLogFile(const QString &filePath);
    static void closeLogFile();
    static QString logFileName();
};

} // namespace qt5ext

#endif
