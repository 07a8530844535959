/*
 * platform/assertions.cpp - the stand-in assertion service.
 *
 * A host's assertion service may log, trap or carry on; the containers must
 * survive the last of these, so the stand-in always returns and only counts,
 * letting tests see that a report was (or was not) made.
 *
 * What counts as a report:
 *   ZV_AssertForExport(condition)     - a condition of 0, i.e. the asserted
 *                                       fact did not hold;
 *   ZV_CantHappenForExport(code)      - every call: reaching it is the report,
 *                                       the argument only says where from.
 */
#include <stdint.h>

#include "quolan/object.h"
#include "quolan/testing.h"

namespace {

int32_t assert_reports = 0;
int32_t cant_happen_reports = 0;

} // namespace

extern "C" {

void ZV_AssertForExport(int32_t condition)
{
    if (condition == 0)
        ++assert_reports;
}

void ZV_CantHappenForExport(int32_t)
{
    ++cant_happen_reports;
}

int32_t quolan_testing_assert_reports(void)
{
    return assert_reports;
}

int32_t quolan_testing_cant_happen_reports(void)
{
    return cant_happen_reports;
}

} // extern "C"
