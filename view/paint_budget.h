// How much of a run's time may go into painting the view. Software rendering draws two large
// translucent surfaces more slowly than an iteration runs, so a run step may leave the view as
// it is while the last paint's share of the time since it began stays above the budget; the view
// still shows progress a few times a second.
#pragma once

class PaintBudget {
public:
    // A paint began and ended at these times (seconds on a steady clock).
    void painted(double began, double ended);
    // Whether a step ending at `now` may skip its repaint: the last paint took more than
    // `share` of the time from its start to now. A share of 1 or more never skips; 0 or less
    // skips every step after the first paint.
    bool may_skip(double now) const;

    double share = 0.2;

private:
    bool has_painted_ = false;
    double began_ = 0.0;
    double ended_ = 0.0;
};

// Seconds on the steady clock the budget is kept on.
double paint_clock_seconds();
