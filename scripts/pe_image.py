"""The resources of a Windows program (PE image), read without Windows
tools: make_dist.py finds the installer's build identity among them."""
import struct


def pe_resources(image):
    """The resources of a PE image as (type, name, language, bytes); a type,
    name or language is a number or an upper-case name. ValueError or
    struct.error when the image is not a PE file or its resource table
    points outside it. The certificate table a signature appends lies
    outside the sections and changes nothing here."""
    def u16(at):
        return struct.unpack_from("<H", image, at)[0]

    def u32(at):
        return struct.unpack_from("<I", image, at)[0]

    if image[:2] != b"MZ":
        raise ValueError("no MZ header")
    pe = u32(0x3C)
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    sections, optional_size = u16(pe + 6), u16(pe + 20)
    optional = pe + 24
    directories = {0x10B: 96, 0x20B: 112}.get(u16(optional))  # PE32, PE32+
    if directories is None:
        raise ValueError("an optional header of unknown kind")
    if u32(optional + directories - 4) <= 2:  # no resource table entry
        return []
    table_rva = u32(optional + directories + 2 * 8)
    if not table_rva:
        return []
    headers = optional + optional_size

    def offset_of(rva, length):
        for i in range(sections):
            va, raw_size, raw_at = struct.unpack_from("<III", image, headers + 40 * i + 12)
            if va <= rva and rva + length <= va + raw_size:
                at = raw_at + rva - va
                if at + length > len(image):
                    break
                return at
        raise ValueError("resource data outside the file's sections")

    root = offset_of(table_rva, 16)
    visited = [0]

    def entries(at):
        named, numbered = struct.unpack_from("<HH", image, root + at + 12)
        # Folders of a damaged table may point back at each other.
        visited[0] += named + numbered
        if visited[0] > 1 << 16:
            raise ValueError("more resource entries than a program holds")
        for k in range(named + numbered):
            name, target = struct.unpack_from("<II", image, root + at + 16 + 8 * k)
            if name & 0x80000000:
                start = root + (name & 0x7FFFFFFF)
                end = start + 2 + 2 * u16(start)
                if end > len(image):
                    raise ValueError("a resource name outside the file")
                name = image[start + 2:end].decode("utf-16-le").upper()
            yield name, target

    found = []
    for kind, to_names in entries(0):
        if not to_names & 0x80000000:
            raise ValueError("a resource type without a folder")
        for name, to_languages in entries(to_names & 0x7FFFFFFF):
            if not to_languages & 0x80000000:
                raise ValueError("a resource name without a folder")
            for language, to_data in entries(to_languages & 0x7FFFFFFF):
                if to_data & 0x80000000:
                    raise ValueError("a resource language with a folder")
                rva, size = struct.unpack_from("<II", image, root + to_data)
                at = offset_of(rva, size)
                found.append((kind, name, language, image[at:at + size]))
    return found
