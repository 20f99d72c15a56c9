import sys, math, os, tempfile; sys.path.insert(0, sys.argv[1])
from _orvpy_core import io
import orvfile_writer as w
c = w.build_contents(datasets=[w.DataSet("N", [(math.nan, 1.0), (2.0, 3.0)])])
f = list(w.build_orv(c))
for fn in (io.load_orv_scan_binary_data, io.load_orvfile_binary_data):
  try: r = fn(f); print(r, r.data_sets[0].data.to_lists() if hasattr(r,'data_sets') else '')
  except Exception as e: print(type(e), e)
print(io.orvfile_to_json_binary_data(f, -1, True)[-200:])
d = tempfile.mkdtemp()
def csv(text, name="a.csv"):
    p = os.path.join(d, name)
    with open(p, "wb") as fh: fh.write(text.encode() if isinstance(text,str) else text)
    try:
        s = io.load_csv(p); return s.to_lists()
    except Exception as e: return (type(e).__name__, str(e))
tests = ["1,2\n3,4\n", "1;2\n3;4", "1 2\n3\t4\r\n", "1 , 2\n", "wl,val\nunit,unit\n1,2\n", "#c\n\n1,2\n\n#x\n3,4\n",
 "+1.5e2,-3\n.5,5.\n", "1,2,3\n4,5,\n6;7;;\n", "3,1\n3,2\n1,0\n", "1,2\nfoo\n3,4\n", "1,2\n3,4\nbar", "1,2\n3\n", "", "1\n2,3\n",
 "1e5x,2\n", "1,2x\n", "1,,2\n", "1 \t, ;2\n", "-1e-3 +2E+2\n", "1.,2\n", "., 2\n", "1,2\n  3,4\n", "1,2\n \n3,4\n", "\n\nhead\n1,2", "1,2\n#c\n", "1,2\nx 3\n", "1,2\n3,nan\n", "nan,3\n", "abc\n1\n", "1,2\r\n\r\n3,4\r\n", "h\r\n1,2"]
for t in tests: print(repr(t), '->', csv(t))
