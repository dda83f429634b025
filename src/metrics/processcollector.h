#ifndef PROCESSCOLLECTOR_H
#define PROCESSCOLLECTOR_H

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

// The process_* families every Prometheus client exports (CPU time, memory,
// descriptors, start time), read from /proc/self when collected.
class ProcessCollector : public prometheus::Collectable
{
public:
    std::vector<prometheus::MetricFamily> Collect() const override;
};

#endif
