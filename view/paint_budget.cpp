#include "view/paint_budget.h"

#include <chrono>

void PaintBudget::painted(double began, double ended)
{
    has_painted_ = true;
    began_ = began;
    ended_ = ended;
}

bool PaintBudget::may_skip(double now) const
{
    if (!has_painted_ || share >= 1.0)
        return false;
    if (share <= 0.0)
        return true;
    return ended_ - began_ > share * (now - began_);
}

double paint_clock_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
