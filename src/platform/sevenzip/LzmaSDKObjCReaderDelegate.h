#pragma once

class LzmaSDKObjCReader;

// Progress of an extraction, 0 to 1, from any thread.
class LzmaSDKObjCReaderDelegate {
public:
    virtual ~LzmaSDKObjCReaderDelegate() = default;
    virtual void onLzmaSDKObjCReader(LzmaSDKObjCReader* reader, float extractProgress) = 0;
};
