/* overlay */
#ifndef KOVA_OVERLAY_H
#define KOVA_OVERLAY_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif
