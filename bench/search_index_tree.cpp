#include "search_index_tree.h"
