/* The library's own load of a container file, as any program of yours makes
 * it: quolan_file_load.  bench/json_tool_bench.sh measures it beside qctool
 * import and export.
 * Usage: load_container_file FILE; exit 0 once loaded. */
#include <quolan/containers.h>

int main(int argc, char **argv)
{
    QuolanObject *container = NULL;
    if (argc != 2) return 2;
    /* Like qctool, it leaves the container to the end of the process. */
    return quolan_file_load(argv[1], &container) == StatusOk ? 0 : 1;
}
