#pragma once

#include "CopyProgressDelegate.h"
#include "LzmaSDKObjCReaderDelegate.h"
#include "LzmaSDKObjCWriterDelegate.h"

// The progress window as the runs see it: told by the copy polls and by the archive
// writer and reader, from any thread.
class ProgressReceiver : public CopyProgressDelegate,
                         public LzmaSDKObjCWriterDelegate,
                         public LzmaSDKObjCReaderDelegate {
};
