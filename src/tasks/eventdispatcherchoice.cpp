#include "tasks/eventdispatcherchoice.h"

#include <QByteArray>
#include <QtGlobal>

namespace {

const char variable[] = "QT_NO_GLIB";

} // namespace

EventDispatcherChoice::EventDispatcherChoice()
    : setHere(!qEnvironmentVariableIsSet(variable))
{
    if (setHere)
        qputenv(variable, QByteArrayLiteral("1"));
}

void EventDispatcherChoice::applicationCreated()
{
    if (setHere)
        qunsetenv(variable);
    setHere = false;
}
