// The HR counterparts of the "Similarity + TPS" points for the loaded pair.
#include "app/frame.h"
#include "registration/tps_counterparts.h"

bool MyFrame::resample_paired_landcurves(bool only_changed)
{
    return ::resample_paired_landcurves(*this, only_changed);
}

bool MyFrame::transfer_semilandmarks(bool only_changed)
{
    return ::transfer_semilandmarks(*this, only_changed);
}
