#include "asyncfunc.h"

ASyncFunc::ASyncFunc()
    : QObject(nullptr)
{ }

void ASyncFunc::execute()
{
    Q_EMIT runResult(run());
}
