#pragma once

// Receives the progress of a plain-copy run, 0 to 100. Called on a timer thread:
// receivers that touch widgets move to the GUI thread themselves.
class CopyProgressDelegate {
public:
    virtual ~CopyProgressDelegate() = default;
    virtual void copyProgress(float percentage) = 0;
};
