#ifndef SIMOPTIONS_H
#define SIMOPTIONS_H

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// What the simulator was asked to be, from its command line.
struct SimOptions
{
    quint16 msgPort = 0;
    quint16 queryPort = 0;
    QString cashiersFile;
    QString tapeFile;
    bool unregistered = false;
    int delayMs = 0;
    // The message link is down: "frcoreCmdAnswer" is never pushed.
    bool noAnswerPush = false;
    // Where the bus ports listen.
    QString listenAddress = QStringLiteral("127.0.0.1");
    // The fiscal storage's figures, from the start: a shift open that many
    // hours (negative: closed), documents the fiscal data operator has not
    // received with the oldest that many days old, and the days until the
    // storage expires (negative: the storage does not tell).
    double shiftOpenHours = -1;
    int unsentDocuments = 0;
    int oldestUnsentDays = 0;
    int fsExpiryDays = -1;
    // Commands never answered.
    QSet<QString> silent;
    // The first command of each name is carried out and never answered
    // (neither replied to nor pushed as "frcoreCmdAnswer").
    QSet<QString> loseAnswer;
    // The first command of each name is ignored, not carried out.
    QSet<QString> drop;
    // Commands refused with the given error code.
    QHash<QString, int> fail;

    // False with a message for a bad command line.
    bool parse(const QStringList &arguments, QString &error);
};

#endif
