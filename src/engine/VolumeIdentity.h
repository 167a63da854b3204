#pragma once

#include <QString>
#include <optional>

// What the identity file ("Zorvi.txt") at the root of an external volume holds now. Reading it
// never writes it, never blocks on a special file and never follows a link to write.
struct VolumeIdentity {
    enum class State {
        Missing,    // no file there: one can be made
        Carried,    // a file with text in it: that text is the identity, untrimmed
        Empty,      // a regular file with nothing in it: it tells the drive from none
        Unusable,   // there but of no use (a folder, a link that leads nowhere or to an empty
                    // file, a file that may not be read, one longer than an identity can be):
                    // the drive cannot be given an identity
    };
    // The most an identity file holds; what holds more is no identity, and is not read further.
    static constexpr qsizetype kMaxBytes = 1024;

    State state = State::Missing;
    QString identity;   // Carried: the text
    QString reason;     // Unusable: why, in a few words ("it is a folder", "Permission denied")
    QString file;       // the identity file's path

    // The identity file of the volume holding `path` (a path, not a tagged entry); nullopt when
    // no external volume holds it.
    static std::optional<VolumeIdentity> read(const QString& path);
};
