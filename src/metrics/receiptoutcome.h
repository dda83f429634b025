#ifndef RECEIPTOUTCOME_H
#define RECEIPTOUTCOME_H

// How a posted receipt ended, decided in one place for every receipt.
enum class ReceiptOutcome {
    // Sent to the register and answered.
    Registered,
    // Answered from the check cache: done before.
    Replayed,
    // The register refused it, or there is no register to send it to.
    Refused,
    // Sent, and no answer came in time: the outcome is unknown.
    TimedOut,
    // Sent before without an answer, and found on the register now.
    Settled,
    // Its session is busy or its earlier attempt cannot be settled yet.
    Unsettled,
};

#endif
