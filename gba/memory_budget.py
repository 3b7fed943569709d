#!/usr/bin/env python3
"""Checks a GBA image's link map against the memory budgets: python3 memory_budget.py BUDGETS MAP.

Every input section the linker placed is given to the owner whose object patterns match its
file (the first match in BUDGETS, else the owner "*"), and summed per memory region. Prints each
owner's use, budget and what is left, and fails when an owner or a region is over its budget.
docs/memory-map.md explains the blocks and the budgets."""
import fnmatch
import re
import sys

# Output sections by the memory they take. ROM also holds the load images of .iwram/.data/.ewram.
REGIONS = {".iwram": ["IWRAM", "ROM"], ".data": ["IWRAM", "ROM"], ".bss": ["IWRAM"],
           ".ewram": ["EWRAM", "ROM"], ".ewram_bss": ["EWRAM"],
           ".crt0": ["ROM"], ".text": ["ROM"], ".rodata": ["ROM"], ".ARM.exidx": ["ROM"],
           ".ARM.extab": ["ROM"], ".init_array": ["ROM"], ".preinit_array": ["ROM"],
           ".image_end": ["ROM"]}


def read_budgets(path):
    regions, owners = {}, []
    for line in open(path, encoding="utf-8"):
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        if words[0] == "region":  # region NAME SIZE
            regions[words[1]] = int(words[2], 0)
        else:  # REGION OWNER BUDGET PATTERN...
            owners.append((words[0], words[1], int(words[2], 0), words[3:]))
    return regions, owners


def image_size(path):
    """__image_end - 0x08000000 from the map: what the image takes in ROM, gaps included."""
    for line in open(path, encoding="utf-8", errors="replace"):
        found = re.match(r"^\s+(0x[0-9a-f]+)\s+__image_end = \.", line)
        if found:
            return int(found.group(1), 16) - 0x08000000
    return None


def read_map(path):
    """Yields (output section, size, input file) for every input section with contents."""
    output = None
    pending = None  # an input section name whose address, size and file follow on the next line
    entry = re.compile(r"^\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+(\S.*)$")
    for line in open(path, encoding="utf-8", errors="replace"):
        line = line.rstrip("\n")
        top = re.match(r"^(\.[\w.]+)\s", line + " ")
        if top and not line.startswith(" "):
            output = top.group(1)
            pending = None
            continue
        if output not in REGIONS:
            continue
        if line.startswith(" *fill*"):
            parts = line.split()
            if len(parts) >= 3:
                yield output, int(parts[2], 16), "*fill*"
            continue
        named = re.match(r"^ (\.\S+)(\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+(\S.*))?$", line)
        if named:
            if named.group(2):
                yield output, int(named.group(4), 16), named.group(5).strip()
                pending = None
            else:
                pending = named.group(1)
            continue
        if pending:
            follow = entry.match(line)
            if follow:
                yield output, int(follow.group(2), 16), follow.group(3).strip()
            pending = None


def main():
    regions, owners = read_budgets(sys.argv[1])
    used = {}  # (region, owner) -> bytes
    for output, size, source in read_map(sys.argv[2]):
        for region in REGIONS[output]:
            owner = "*"
            for o_region, name, _, patterns in owners:
                if o_region == region and any(fnmatch.fnmatch(source, p) for p in patterns):
                    owner = name
                    break
            used[(region, owner)] = used.get((region, owner), 0) + size
    failed = []
    for region, capacity in regions.items():
        print(f"{region}: {capacity} bytes")
        total = 0
        for o_region, name, budget, _ in owners:
            if o_region != region:
                continue
            bytes_used = used.pop((region, name), 0)
            total += bytes_used
            mark = "  OVER BUDGET" if bytes_used > budget else ""
            print(f"  {name:<22} {bytes_used:>8} of {budget:>8}, {budget - bytes_used:>8} left{mark}")
            if bytes_used > budget:
                failed.append(f"{region} {name}: {bytes_used} bytes, budget {budget}")
        if region == "ROM" and image_size(sys.argv[2]) is not None:
            gaps = image_size(sys.argv[2]) - total - used.get((region, "*"), 0)
            print(f"  {'(alignment)':<22} {gaps:>8}")
            total += gaps
        other = used.pop((region, "*"), 0)
        if other:
            failed.append(f"{region}: {other} bytes belong to no owner in {sys.argv[1]}")
            print(f"  {'(no owner)':<22} {other:>8}")
            total += other
        mark = "  OVER" if total > capacity else ""
        print(f"  {'total':<22} {total:>8} of {capacity:>8}, {capacity - total:>8} left{mark}")
        if total > capacity:
            failed.append(f"{region}: {total} bytes, {capacity} available")
    for message in failed:
        print(f"memory budget exceeded: {message}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
