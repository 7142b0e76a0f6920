#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

class TaskSpecification;

// Peak resident memory of this process so far, in KiB.
long maxRssKib();

// Executes task and runs the event loop until it has finished or been
// canceled, sampling it once a second as the engine does. Returns the
// seconds it took.
double runTask(TaskSpecification& task);

#endif
