#include "asyncrun.h"

#include "asyncfunc.h"

ASyncRun::ASyncRun(ASyncFunc* function)
{
    this->function.store(function, std::memory_order_release);
}

ASyncRun::~ASyncRun()
{
    delete function.load(std::memory_order_acquire);
}

void ASyncRun::run()
{
    function.load(std::memory_order_acquire)->execute();
}
