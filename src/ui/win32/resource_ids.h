/* Resource ids, shared by the resource script and the program. */
#pragma once

#define QUORVIX_ICON_COLOUR 1
#define QUORVIX_ICON_GREY 2
