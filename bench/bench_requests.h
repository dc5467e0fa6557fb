// The request and report payloads that the benchmarks deliver, and how they
// read an answer.
#ifndef PGA_BENCH_BENCH_REQUESTS_H_
#define PGA_BENCH_BENCH_REQUESTS_H_

#include <cstddef>
#include <cstdint>

#include "bench/bench_tree.h"
#include "group/channel_list_param.h"
#include "group/group_request_param.h"
#include "runtime/event.h"

namespace pga {

// Whether `event` holds a request record marked succeeded.
bool Succeeded(Event& event);

// A new request record holding `payload`; the event it goes into owns it.
GroupRequestParam* GroupRequest(GroupRequestParam::Payload payload);

// `count` channels new to the tree (ids numbered from `batch` * `count`),
// created in a scrambled order so that the component has to sort them.
ChannelListParam* NewChannels(std::size_t count, uint64_t batch);

// The crowded parent's channels at their first orders again (21 to 200),
// where the tree was built with them.
GroupRequestParam* CrowdedChannelsBack(const BenchTree& tree);

}  // namespace pga

#endif  // PGA_BENCH_BENCH_REQUESTS_H_
