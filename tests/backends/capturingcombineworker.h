#ifndef CAPTURINGCOMBINEWORKER_H
#define CAPTURINGCOMBINEWORKER_H

#include "combinefrworker.h"

#include <QList>

// A Combine link that is open and records every command instead of sending
// it. The answers to give can be queued; a command numbered failAt (from 1)
// fails with error 17.
class CapturingCombineWorker : public CombineFrWorker
{
    Q_OBJECT
public:
    struct Sent
    {
        QByteArray bytes;
        int timeoutMs;
    };

    using CombineFrWorker::CombineFrWorker;

    bool isOpen() const override { return open; }

    bool sendCommand(const QByteArray &command, QVariantMap &answer, int &error,
                     int timeoutMs) override
    {
        sent.append({command, timeoutMs});
        answer = answers.isEmpty() ? QVariantMap{{"answer", sent.size()}} : answers.takeFirst();
        error = sent.size() == failAt ? 17 : 0;
        return error == 0;
    }

    bool open = true;
    int failAt = 0;
    QList<QVariantMap> answers;
    QList<Sent> sent;
};

#endif
