import sys, math; sys.path.insert(0, sys.argv[1])
from _orvpy_core import io
import orvfile_writer as w
pts=[(500.0,1e-20),(0.1,123456789012345678.0),(-0.0,math.nan),(math.inf,-math.inf),(1e-5,1e-4),(1e15,1e16),(1e17,2.5e-7),(500.0, 3.0)]
c = w.build_contents(datasets=[w.DataSet("N", pts)], x_type=4, x_axis_title="Beleuchtungsstärke µ")
f = list(w.build_orv(c))
print(io.orvfile_to_json_binary_data(f, -1, True))
print(io.orvfile_to_json_binary_data(f, -1, False))
print(io.orvfile_to_json_binary_data(f, 0, False)[:300])
try: print(io.load_orv_scan_binary_data(f))
except Exception as e: print(type(e), e)
o=io.load_orvfile_binary_data(f)
print(o.data_sets[0].data.to_lists(), o.meta.x_type, o.graph.x_axis_title)
c = w.build_contents(datasets=[w.DataSet("N", [(1.0,2.0),(1.0,3.0),(0.5,1)]), w.DataSet("N", [(7.0,1.0)]), w.DataSet("A", [])])
f = list(w.build_orv(c))
s=io.load_orv_scan_binary_data(f); print(s, {k:v.to_lists() for k,v in s.items()})
o=io.load_orvfile_binary_data(f); print(o.data_sets[0].data.to_lists(), o.data_sets[0].data.wavelengths(), o.data_sets[0].data.values())
c = w.build_contents(datasets=[])
f = list(w.build_orv(c))
print(io.orvfile_to_json_binary_data(f, -1, True))
for x in (5,7,-1+2**32):
  print(x, repr(io.load_orvfile_binary_data(list(w.build_orv(w.build_contents(x_type=x)))).meta.x_type))
for bad in ([], [1,2,3], list(w.build_orv(w.build_contents())[:100])):
  try: io.load_orvfile_binary_data(bad)
  except Exception as e: print(type(e), e)
try: io.load_orvfile("/nonexistent/x.orv")
except Exception as e: print(type(e), e)
try: io.load_csv("/nonexistent/x.csv")
except Exception as e: print(type(e), e)
