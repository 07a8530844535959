/*
 * quolan/testing.h - hooks of the host stand-in for tests.  Not part of a
 * real host; only libquolan_platform provides them.
 */
#ifndef QUOLAN_TESTING_H
#define QUOLAN_TESTING_H

#include "quolan/object.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The version the root class answers (0x203 by default).  Takes effect at
 * once, before or after quolan_class_init. */
QUOLAN_EXPORT void quolan_testing_set_root_version(int32_t version);

/* Calls of quolan_generic_subclass so far. */
QUOLAN_EXPORT int32_t quolan_testing_subclass_calls(void);

/* Reports received by the assertion service so far. */
QUOLAN_EXPORT int32_t quolan_testing_assert_reports(void);
QUOLAN_EXPORT int32_t quolan_testing_cant_happen_reports(void);

#ifdef __cplusplus
}
#endif

#endif /* QUOLAN_TESTING_H */
