#include "web/web_settings.h"
