#pragma once

#include "CloudLoginService.h"

#include <QWidget>

class CloudAccountRow;
class CloudTempBlockView;

// The Cloud page while no service is open: a title, a hint and one account row per service.
// While busy, a block view keeps the rows from being clicked.
class CloudServiceChoice : public QWidget {
    Q_OBJECT
public:
    explicit CloudServiceChoice(QWidget* parent = nullptr);

    // The row of `service`; null for none.
    CloudAccountRow* row(CloudLoginService service) const;
    void setBusy(bool busy);
    bool isBusy() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CloudAccountRow* dropboxRow_;
    CloudAccountRow* googleRow_;
    CloudAccountRow* onedriveRow_;
    CloudTempBlockView* accountBlockView_;
};
