#pragma once

class CarosellCell;

// Who a carousel card tells of a click: the carousel.
class CarosellDelegate {
public:
    virtual ~CarosellDelegate() = default;
    virtual void cellClicked(CarosellCell* cell) = 0;
};
