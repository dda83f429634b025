#ifndef XMLREQUESTPROCESSOR_H
#define XMLREQUESTPROCESSOR_H

#include "htmlrequestprocessor.h"

// ".xml" paths: until XML bodies are read and written, every operation,
// the search included, answers 501 "Not supported".
class XmlRequestProcessor : public HtmlRequestProcessor
{
    Q_OBJECT
public:
    using HtmlRequestProcessor::HtmlRequestProcessor;

    int getInitSearch(bool clean, QByteArray &body, QByteArray &statusText) override;
};

#endif
