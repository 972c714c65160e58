#include "colors.inc"
#include "textures.inc"

camera {
	location  <0, 0, -4.000000>
	direction <0, 0,  1>
	up        <0, 1,  0>
	right   <4/3, 0,  0>
	look_at   <0, 0, 0>
}

light_source {<0, 0, -4.000000> color White}
light_source {<0, 10.000000, 0> color White}

// Jade floor
plane { y, -0.500000 texture {Jade scale <0.600000, 2.000000, 0.600000>}}
// Add a glass finish
#declare GlassFinish = finish {	Shiny ambient 0 diffuse 0
	reflection 0.1 refraction 1 ior 1.5
}

// Object converted to POVRay V2.2 by TRIVEX V2.7
#declare _Tri = texture {pigment {color White} finish {Dull}}


// This object has the following minimum and maximum values:
// xmin=0.000000, xmax=2.000000
// ymin=0.000000, ymax=2.000000
// zmin=0.000000, zmax=0.000000

object {
	// _Tri
	object {
		triangle {
			<0.000000, 0.000000, 0.000000>,
			<2.000000, 0.000000, 0.000000>,
			< 0.000000, 2.000000, 0.000000>
		}
		texture{_Tri}
	}
}
