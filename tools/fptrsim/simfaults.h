#ifndef FPTRSIM_SIMFAULTS_H
#define FPTRSIM_SIMFAULTS_H

#include <QHash>
#include <QSet>
#include <QString>

// Faults a test switches on by writing the `faults` file of the state
// directory, one per line:
//   offline              enabling fails, a device already enabled has lost
//                        its connection
//   paper-out            printing and fiscal documents fail: no paper
//   endless-records      reading a stored document's records ("46") never
//                        ends: every further read answers one more record
//   fail METHOD CODE     METHOD (as in calls.log) fails with CODE
//   abort-before METHOD  the process aborts when METHOD is called, before
//                        it does anything
//   abort-after METHOD   the process aborts right after METHOD has done its
//                        work (and stored it)
// The two abort faults strike once: the line is taken out of the file
// before the process ends.
//   delay METHOD MS      METHOD takes MS milliseconds longer (a slow line)
// Blank lines and lines starting with # are skipped; any other line is
// ignored with a warning.
class SimFaults
{
public:
    static SimFaults parse(const QString &text);

    bool offline() const { return m_offline; }
    bool paperOut() const { return m_paperOut; }
    bool endlessRecords() const { return m_endlessRecords; }
    // The code METHOD is to fail with, or 0.
    int failure(const QString &method) const { return m_failures.value(method); }
    bool abortBefore(const QString &method) const { return m_abortBefore.contains(method); }
    bool abortAfter(const QString &method) const { return m_abortAfter.contains(method); }
    // Milliseconds METHOD is to take, or 0.
    int delay(const QString &method) const { return m_delays.value(method); }

private:
    bool m_offline = false;
    bool m_paperOut = false;
    bool m_endlessRecords = false;
    QHash<QString, int> m_failures;
    QSet<QString> m_abortBefore;
    QSet<QString> m_abortAfter;
    QHash<QString, int> m_delays;
};

#endif
