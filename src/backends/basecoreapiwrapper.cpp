#include "basecoreapiwrapper.h"

BaseCoreApiWrapper::BaseCoreApiWrapper(QObject *parent)
    : QObject(parent)
{
}

BaseCoreApiWrapper::~BaseCoreApiWrapper() = default;
