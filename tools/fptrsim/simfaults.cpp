#include "simfaults.h"

#include "simlog.h"

#include <QRegularExpression>
#include <QStringList>

SimFaults SimFaults::parse(const QString &text)
{
    SimFaults faults;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")));
        bool codeOk = false;
        if (words == QStringList{QStringLiteral("offline")}) {
            faults.m_offline = true;
        } else if (words == QStringList{QStringLiteral("paper-out")}) {
            faults.m_paperOut = true;
        } else if (words.size() == 2 && words.at(0) == QLatin1String("abort-before")) {
            faults.m_abortBefore.insert(words.at(1));
        } else if (words.size() == 2 && words.at(0) == QLatin1String("abort-after")) {
            faults.m_abortAfter.insert(words.at(1));
        } else if (words == QStringList{QStringLiteral("endless-records")}) {
            faults.m_endlessRecords = true;
        } else if (words.size() == 3 && words.at(0) == QLatin1String("fail")
                   && words.at(2).toInt(&codeOk) < 0 && codeOk) {
            faults.m_failures.insert(words.at(1), words.at(2).toInt());
        } else if (words.size() == 3 && words.at(0) == QLatin1String("delay")
                   && words.at(2).toInt(&codeOk) > 0 && codeOk) {
            faults.m_delays.insert(words.at(1), words.at(2).toInt());
        } else {
            qCWarning(lcFptrSim, "faults line %d ignored: \"%s\" (expected offline, paper-out, "
                                 "endless-records, fail METHOD NEGATIVE-CODE, delay METHOD MS, "
                                 "abort-before METHOD or abort-after METHOD)",
                      i + 1, qUtf8Printable(line));
        }
    }
    return faults;
}
