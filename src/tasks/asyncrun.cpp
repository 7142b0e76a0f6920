#include "asyncrun.h"

#include "asyncfunc.h"

ASyncRun::ASyncRun(ASyncFunc* function)
    : function(function)
{ }

ASyncRun::~ASyncRun()
{
    delete function;
}

void ASyncRun::run()
{
    function->execute();
}
