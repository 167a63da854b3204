#pragma once

#include <QString>

// The services' modification times ("2021-03-04T05:06:07.123Z") as the local text the pages
// show ("2021-03-04 05:06:07"). The clock digits are carried over as they are, without a
// time-zone conversion; a time without exactly three digits of fractional seconds, or an
// impossible date, gives the empty text.
class CloudTimestamp {
public:
    static QString displayText(const QString& serviceTime);
};
