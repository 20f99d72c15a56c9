import sys, math, os, tempfile; sys.path.insert(0, sys.argv[1])
from _orvpy_core import io
d = tempfile.mkdtemp()
def csv(text, name="a.csv"):
    p = os.path.join(d, name)
    with open(p, "wb") as fh: fh.write(text.encode() if isinstance(text,str) else text)
    try:
        s = io.load_csv(p); return s.to_lists()
    except Exception as e: return (type(e).__name__, str(e).split(', ',1)[-1][:8])
tests = ["1x,2\n3,4", "12abc\n3,4", "5 apples\n1,2", "1e5,2x\n3,4", "1e5x,2\n3,4", "1e,2\n3,4", "1e+,2\n3,4", "-x,1\n3,4", "+.e1,2\n3,4", "1,2\n1e5x,2\n", "1,2\n1x,2\n",
 "2015-03-01 header\n1,2", "0x10,2\n", "1.5.5,2\n", "1,2.5.5\n", "1e5 2e5x\n", "1,2 x\n", "1,2,x\n", " 1,2\n", "\t1,2\n", ",1,2\n", "1:2\n", "1\v2\n", "1,2\n3,4 \n", "1,2\x00\n", "1e400,2\n", "1,1e400\n", "1e-400,2\n", "-,2\n1,2", "1,2\n-,2\n","1,2\n,\n",
 "1,2\n;;\n", "1,2\n\t\n", "1,2\r\n\r\n", "1,2\n\r\n", "1,2\r\r\n", "1,2\r3,4\r", "\ufeff1,2\n"]
for t in tests: print(repr(t), '->', csv(t))
