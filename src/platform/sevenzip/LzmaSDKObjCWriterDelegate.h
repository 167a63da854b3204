#pragma once

class LzmaSDKObjCWriter;

// Progress of an archive being written, 0 to 1, from any thread.
class LzmaSDKObjCWriterDelegate {
public:
    virtual ~LzmaSDKObjCWriterDelegate() = default;
    virtual void onLzmaSDKObjCWriter(LzmaSDKObjCWriter* writer, float writeProgress) = 0;
};
