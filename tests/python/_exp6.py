import sys, math, os, time, resource; sys.path.insert(0, sys.argv[1])
resource.setrlimit(resource.RLIMIT_AS, (1<<30, 1<<30))
from _orvpy_core import io
import orvfile_writer as w
D = w.Contents
cases = {
 "pts": w.build_contents(datasets=[w.DataSet("x", [], no_of_points=0xFFFFFFFF)]),
 "pts2": w.build_contents(datasets=[w.DataSet("x", [(1.0,2.0)], no_of_points=0x10000000)]),
 "ds": w.build_contents(dataset_count=0xFFFFFFFF, datasets=[]),
 "ds2": w.build_contents(dataset_count=0x0FFFFFFF),
 "g17": w.set_u32(w.build_contents(), w.offset_of("G17"), 0xFFFFFFFF),
 "t1": w.set_u32(w.build_contents(gv_version=3), w.offset_of("T1", gv_version=3), 0xFFFFFFFF),
 "t2": w.set_u32(w.build_contents(gv_version=3), w.offset_of("T2", gv_version=3), 0xFFFFFFFF),
 "grp": w.set_u32(w.build_contents(), w.offset_of("L1[0].groups"), 0xFFFFFFFF),
 "items": w.set_u32(w.build_contents(), w.offset_of("L1[0].groups[0]"), 0xFFFFFFFF),
 "ts": w.build_contents(file_version=3, timestamps=1, gv_version=3, datasets=[w.DataSet("x", [(1.0,2.0)], no_of_points=0xFFFFFFFF)]),
 "h2": w.build_contents(stream_size=0xFFFFFFFF),
}
for k, c in cases.items():
    f = w.build_orv(c)
    t = time.time()
    for fn in (io.load_orvfile_binary_data, io.load_orv_scan_binary_data, lambda b: io.orvfile_to_json_binary_data(b, -1, True)):
        try: fn(list(f)); print(k, "OK??")
        except BaseException as e: print(k, len(f), type(e).__name__, e, round(time.time()-t,3))
