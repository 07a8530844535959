/* The library's own load of a container file: the frame read through a
 * file stream, the class found by name, Load.  bench/json_tool_bench.sh
 * measures it beside qctool import and export.
 * Usage: load_container_file FILE; exit 0 once loaded. */
#include <quolan/containers.h>
#include <quolan/stream.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc != 2 || !array_baseclass_init() || !dict_baseclass_init() || !array_typedclass_init() ||
        !dict_typedclass_init() || !genset_baseclass_init())
        return 2;
    QuolanObject *stream = quolan_file_stream_open(argv[1], "rb");
    if (!stream) return 1;
    const StreamMethods *m = quolan_stream_methods(stream);
    char magic[8];
    QuolanObject *cls = NULL;
    if (m->ReadBytes(stream, magic, 8) == 8 && memcmp(magic, "QUOLANCF", 8) == 0 && m->ReadInt32(stream) == 1)
        cls = reanimator_get_class_from_stream(stream);
    QuolanObject *container = cls ? quolan_base_methods(cls)->New(cls) : NULL;
    int32_t status = container ? quolan_base_methods(container)->Load(container, stream, 0) : StatusFailed;
    quolan_base_methods(stream)->Delete(stream);
    /* Like qctool, it leaves the containers to the end of the process. */
    return status == StatusOk ? 0 : 1;
}
