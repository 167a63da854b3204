#pragma once

#include "CopyProgressDelegate.h"
#include "LzmaSDKObjCReaderDelegate.h"
#include "LzmaSDKObjCWriterDelegate.h"

#include <QString>

// The progress window as the runs see it: told by the copy polls and by the archive
// writer and reader, from any thread.
class ProgressReceiver : public CopyProgressDelegate,
                         public LzmaSDKObjCWriterDelegate,
                         public LzmaSDKObjCReaderDelegate {
public:
    // The run waits before it can begin: `reason` says for what; empty when the wait is over.
    virtual void waitingFor(const QString& reason) { (void)reason; }
};
