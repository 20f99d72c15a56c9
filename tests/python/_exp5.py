import sys, math, os, tempfile; sys.path.insert(0, sys.argv[1])
from _orvpy_core import io
d = tempfile.mkdtemp()
def csv(text, name="a.csv"):
    p = os.path.join(d, name)
    with open(p, "wb") as fh: fh.write(text.encode() if isinstance(text,str) else text)
    try:
        s = io.load_csv(p); return s.to_lists()
    except Exception as e: return (type(e).__name__, str(e).split(', ',1)[-1][:8])
tests = ["1e400,2\n3,4\n", "3,4\n1e400,2\n", "-1e400,2\n3,4\n","1e400\n3,4\n", "1e400 x\n3,4\n", "1e-400,2\n", "4.9e-324,1\n", "1e308,1\n", "2e308,1\n", "1,2\n3,4\n" * 2]
for t in tests: print(repr(t), '->', csv(t))
p = os.path.join(d, "dir"); os.mkdir(p)
try: print(io.load_csv(p).to_lists())
except Exception as e: print(type(e), e)
try: print(io.load_orvfile(p))
except Exception as e: print(type(e), e)
open(os.path.join(d,"e.orv"),"wb").close()
for fn in (io.load_orvfile, io.load_orv_scan_data):
  try: print(fn(os.path.join(d,"e.orv")))
  except Exception as e: print(type(e), e)
try: print(io.orvfile_to_json(os.path.join(d,"e.orv"), 2, True))
except Exception as e: print(type(e), e)
