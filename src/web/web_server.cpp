#include "web/web_server.h"
