#ifndef BRINDLEWAY_CLI_STD_STREAMS_H_
#define BRINDLEWAY_CLI_STD_STREAMS_H_

/// Opens /dev/null on each of descriptors 0, 1 and 2 that the caller left closed. Returns 0, or
/// 1 when one could not be filled.
int ensure_std_streams();

#endif  // BRINDLEWAY_CLI_STD_STREAMS_H_
