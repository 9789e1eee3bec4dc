// Starts the object's own thread when it is constructed and ends it when it is destroyed.
#include "ExecutableObject.h"

ExecutableObject::ExecutableObject(QObject *parent)
    : QObject(parent)
{
    Q_ASSERT(!parent);
    moveToThread(&thread);
    thread.start(QThread::InheritPriority);
}

ExecutableObject::~ExecutableObject()
{
    stopThread();
}

void ExecutableObject::stopThread()
{
    thread.quit();
    thread.wait();
}
