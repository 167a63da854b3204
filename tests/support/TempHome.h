#pragma once

#include "RemovableTemporaryDir.h"

#include <QString>

// Points HOME, the XDG folders and QSettings at a private temporary folder so that
// no test reads or writes the real user's files. The test main installs one per process.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    QString path() const { return dir_.path(); }
    QString documents() const;

    static TempHome* instance();

private:
    RemovableTemporaryDir dir_;
};
