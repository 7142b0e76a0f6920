#ifndef EVENTDISPATCHERCHOICE_H
#define EVENTDISPATCHERCHOICE_H

// Makes the application object that follows run on Qt's own event
// dispatcher rather than GLib's. GLib's wakes the loop with one system call
// per posted event, Qt's coalesces them; an update of thousands of small
// files posts dozens of events per file. The choice goes through QT_NO_GLIB,
// which a user's own setting overrides, and leaves the environment again as
// soon as the application exists, so that programs started later (the
// client) do not inherit it.
class EventDispatcherChoice
{
public:
    // Before the application object is constructed.
    EventDispatcherChoice();
    // After it is constructed.
    void applicationCreated();

private:
    bool setHere;
};

#endif
