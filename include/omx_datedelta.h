/* Moving an instant by days, weeks, months or years, snapped to the period's start. */
#ifndef VAXOLOCAL_OMX_DATEDELTA_H
#define VAXOLOCAL_OMX_DATEDELTA_H

#include <stdint.h>
#include <time.h>

#include "omx_export.h"

#define OMX_PERIOD_DAY 1
#define OMX_PERIOD_WEEK 2
#define OMX_PERIOD_MONTH 3
#define OMX_PERIOD_YEAR 4

#define OMX_ALIGN_SAME 1  /* same weekday / day of month / day and month */
#define OMX_ALIGN_MONTH 3 /* years: day 1 of the same month */

#define OMX_DATE_MONTH 2 /* parts: put the month into the packed date */
#define OMX_DATE_DAY 4   /* parts: put the day into the packed date */

OMX_BEGIN_DECLS

/*
 * Moves when by count periods (1 days, 2 weeks, 3 months, 4 years) in local
 * time; any align but OMX_ALIGN_SAME (and OMX_ALIGN_MONTH for years) snaps to
 * the start of the period, weeks starting on QELS_FIRST_WEEKDAY (Monday by
 * default). *newTime receives the instant and *packedDate the local date as
 * year * 512 + month * 32 + day, month and day only as parts asks. Returns 0,
 * or -1: for an instant the calendar cannot break down or a move beyond what
 * the types can hold (with a 32-bit time_t, any date from 2038-01-19 on),
 * with (time_t)-1 and its date in the outputs; for an unknown period, or a
 * week snapped while memory ran out before the configuration could be
 * loaded, without writing anything.
 */
OMX_API int OmxDateDelta(time_t when, int count, int period, int align, int parts, time_t *newTime,
                         uint32_t *packedDate);

OMX_END_DECLS

#endif
