#ifndef FPTRSIM_RESULTTEXTS_H
#define FPTRSIM_RESULTTEXTS_H

#include <QString>

// The texts get_ResultDescription gives for the driver's result codes.
class ResultTexts
{
public:
    // The text of `code`; a code the driver does not know gets the text of
    // the unknown error.
    static QString text(int code);
};

#endif
