#include "xmlrequestprocessor.h"

int XmlRequestProcessor::getInitSearch(bool, QByteArray &, QByteArray &statusText)
{
    statusText = TEXT_NOT_SUPPORTED;
    return StatusNotSupported;
}
