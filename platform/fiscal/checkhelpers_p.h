#ifndef FISCAL_CHECKHELPERS_P_H
#define FISCAL_CHECKHELPERS_P_H

#include "fiscaldoccomplexproperty.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <fixnumber.h>

// Shared by the receipt model's classes: reading and filling the small
// compound records (agent data, supplier data) made of text parts.
namespace fiscal {
namespace checkhelpers {

// {"tag", "value"} map of one part.
QVariantMap part(PropertyTag tag, const QVariant &value);

// Appends the part when `text` is not empty.
void appendText(QVariantList &parts, PropertyTag tag, const QString &text);
void appendTexts(QVariantList &parts, PropertyTag tag, const QStringList &texts);

// Appends the text of `part` unless it is empty: an empty part carries
// nothing and is not written back.
void appendNonEmpty(QStringList &texts, const FiscalDocPropertyPtr &part);

// Stores the text of `part` in `target`; false with `error` set when the
// field was already filled by an earlier part.
bool takeSingle(const FiscalDocPropertyPtr &part, QString &target, bool &seen, const QString &record,
                QString *error);

// Fills `templ`, which must be a compound property of `tag`, with `parts`;
// null when there is nothing to fill or the parts do not fit it.
FiscalDocPropertyPtr fillCompound(const FiscalDocPropertyPtr &templ, PropertyTag tag, const QVariantList &parts);

// Sum of money amounts, multiplier 100: exact in kopecks when every amount
// is kept in kopecks, else through their decimal values.
qt5ext::FixNumber sumMoney(const QList<qt5ext::FixNumber> &amounts);

// Sets `error` (when given) and returns false.
bool refuse(QString *error, const QString &text);

} // namespace checkhelpers
} // namespace fiscal

#endif
